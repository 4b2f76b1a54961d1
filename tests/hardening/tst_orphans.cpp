// Children never outlive their parent: the demo stops its simulator when it
// is ended by a signal, and a simulator started by a test (SimProcess) or by
// the demo dies with it even when it is killed outright.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

namespace {

// True while the process exists and is not a zombie waiting to be reaped.
bool isAlive(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("State:"))
            return !line.contains('Z');
    return false;
}

// The korvex-sim processes whose parent is `parent`.
QList<qint64> simulatorsOf(qint64 parent)
{
    QList<qint64> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ..."; comm may hold spaces, so split after ')'.
        const QByteArray text = stat.readAll();
        const int close = text.lastIndexOf(')');
        const QList<QByteArray> rest = text.mid(close + 2).split(' ');
        if (text.contains("(korvex-sim)") && rest.size() > 1 && rest.at(1).toLongLong() == parent)
            found.append(pid);
    }
    return found;
}

// Reads the process's output until a line matches; returns the first capture.
QString waitForLine(QProcess &p, const QRegularExpression &re, int timeoutMs, QByteArray *seen)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        while (p.canReadLine()) {
            const QByteArray line = p.readLine();
            seen->append(line);
            const auto m = re.match(QString::fromLocal8Bit(line));
            if (m.hasMatch())
                return m.captured(1);
        }
        if (p.state() != QProcess::Running)
            break;
        p.waitForReadyRead(200);
    }
    return QString();
}

QString buildDir() { return qEnvironmentVariable("KORVEX_BUILD_DIR"); }

} // namespace

class TestOrphans : public QObject
{
    Q_OBJECT
private slots:
    void demoStopsSimulatorOnSignal_data();
    void demoStopsSimulatorOnSignal();
    void killedTestTakesItsSimulator();
};

void TestOrphans::demoStopsSimulatorOnSignal_data()
{
    QTest::addColumn<int>("signo");
    QTest::addColumn<bool>("cleanExit");
    QTest::newRow("SIGTERM") << int(SIGTERM) << true;
    QTest::newRow("SIGINT") << int(SIGINT) << true;
    QTest::newRow("SIGHUP (terminal closed)") << int(SIGHUP) << true;
    QTest::newRow("SIGKILL") << int(SIGKILL) << false;
}

void TestOrphans::demoStopsSimulatorOnSignal()
{
    QFETCH(int, signo);
    QFETCH(bool, cleanExit);
    QProcess demo;
    demo.setProcessChannelMode(QProcess::MergedChannels);
    demo.start(buildDir() + "/korvex-demo", {"--auto-open"});
    QVERIFY(demo.waitForStarted(10000));
    QByteArray seen;
    const QString pty = waitForLine(demo, QRegularExpression("simulated laser on (\\S+)"), 20000, &seen);
    QVERIFY2(!pty.isEmpty(), seen.constData());
    const QList<qint64> sims = simulatorsOf(demo.processId());
    QCOMPARE(sims.size(), 1);
    QVERIFY(QFile::exists(pty));

    ::kill(pid_t(demo.processId()), signo);
    QVERIFY(demo.waitForFinished(15000));
    if (cleanExit) {
        // The signal ended the event loop; the demo cleaned up and exited.
        QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
    } else {
        QCOMPARE(demo.exitStatus(), QProcess::CrashExit);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!isAlive(sims.first()), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(pty), 5000);
}

// A test that started a simulator through SimProcess and is then killed
// (as CTest does on a timeout) takes the simulator with it.
void TestOrphans::killedTestTakesItsSimulator()
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.start(buildDir() + "/tests/hardening/crash_probe", {"waitWithSimulatorRunning"});
    QVERIFY(probe.waitForStarted(10000));
    QByteArray seen;
    const QString pid = waitForLine(probe, QRegularExpression("simulator pid (\\d+)"), 20000, &seen);
    QVERIFY2(!pid.isEmpty(), seen.constData());
    const qint64 simPid = pid.toLongLong();
    QVERIFY(isAlive(simPid));
    QCOMPARE(simulatorsOf(probe.processId()), QList<qint64>{simPid});

    probe.kill();
    QVERIFY(probe.waitForFinished(5000));
    QTRY_VERIFY_WITH_TIMEOUT(!isAlive(simPid), 5000);
}

QTEST_GUILESS_MAIN(TestOrphans)
#include "tst_orphans.moc"
