// A device that goes away, as the main window shows it (korvex-sim on a pty):
// nothing that is not live looks live, the trend and the recording go on
// through the absence, and the window finds the device again by the name it
// was opened by and remembers the port for the next run.

#include "SimProcess.h"
#include "StatusRecord.h"
#include "TrendWd.h"
#include "WindowHarness.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <unistd.h>

using namespace Harness;

namespace {

const char *const StateLamps[] = {"label_LdOnOffStat", "labelTempAlarm", "labelFanAlarm_1", "labelFanAlarm_2",
                                   "labelFanAlarm_3"};

qint64 processCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool stateLampsFaded(AdminWd *w)
{
    for (const char *name : StateLamps) {
        const Lamp l = lamp(w, QString::fromLatin1(name));
        if (l != Lamp::FadedGreen && l != Lamp::FadedRed)
            return false;
    }
    return true;
}

bool allLampsLive(AdminWd *w)
{
    for (const char *name : StateLamps) {
        const Lamp l = lamp(w, QString::fromLatin1(name));
        if (l != Lamp::Green && l != Lamp::Red)
            return false;
    }
    return lamp(w, QStringLiteral("CommStat")) == Lamp::Green;
}

QAction *reconnectOption(AdminWd *w)
{
    return w->findChild<QAction *>(QStringLiteral("actionAutoReconnect"));
}

// Points the link at target in one step, as udev re-creates a stable name.
bool repointLink(const QString &link, const QString &target)
{
    const QByteArray fresh = QFile::encodeName(link + QStringLiteral(".new"));
    ::unlink(fresh.constData());
    return ::symlink(QFile::encodeName(target).constData(), fresh.constData()) == 0
           && std::rename(fresh.constData(), QFile::encodeName(link).constData()) == 0;
}

QComboBox *box(QWidget *dialog, const char *name)
{
    return dialog->findChild<QComboBox *>(QString::fromLatin1(name));
}

} // namespace

class TestLostDevice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void nothingLooksLiveWithoutAPort_data();
    void nothingLooksLiveWithoutAPort();
    void absenceKeepsTimeAndRows();
    void reconnectsByTheOpenedName_data();
    void reconnectsByTheOpenedName();
    void remembersPortAndOptions();

private:
    QTemporaryDir settingsDir;
    AdminWd *w = nullptr;
};

void TestLostDevice::initTestCase()
{
    // The window's settings file of this run only, starting empty.
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
}

void TestLostDevice::cleanup()
{
    destroyWindow(w);
}

void TestLostDevice::nothingLooksLiveWithoutAPort_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("never opened") << "never opened";
    QTest::newRow("closed by the operator") << "closed";
    QTest::newRow("device lost") << "lost";
}

void TestLostDevice::nothingLooksLiveWithoutAPort()
{
    QFETCH(QString, how);
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    if (how != QLatin1String("never opened")) {
        openPort(w, sim.ptyPath());
        QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "SoftVersion"), QString("V1.5"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(allLampsLive(w), 5000);
        QVERIFY2(darkestInk(w, "SoftVersion") < 100, "live values in black");
        if (how == QLatin1String("closed")) {
            emit w->turnOffSpcomm();
            QTRY_COMPARE_WITH_TIMEOUT(logCount(w, sim.ptyPath() + "关闭成功"), 1, 5000);
        } else {
            sim.process().kill();
            QTRY_VERIFY_WITH_TIMEOUT(logText(w).contains(sim.ptyPath() + "设备丢失"), 5000);
            // A terminal's number goes to the next terminal opened, someone
            // else's: only a stable name is waited for.
            QVERIFY(!logText(w).contains("等待重新连接"));
            QCOMPARE(lineText(w, "ComNameShow"), QString("连接断开"));
        }
    }
    QTest::qWait(600); // a poll tick: nothing turns live again by itself
    QCOMPARE(lamp(w, "CommStat"), Lamp::Red);
    QVERIFY(stateLampsFaded(w));
    if (how != QLatin1String("never opened")) {
        // The last values stay readable, washed out.
        QCOMPARE(lineText(w, "SoftVersion"), QString("V1.5"));
        QVERIFY2(darkestInk(w, "SoftVersion") > 120, "stale values in grey");
    }
}

void TestLostDevice::absenceKeepsTimeAndRows()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    w->findChild<QAction *>("actionTrend")->trigger();
    auto *trend = w->findChild<TrendWd *>();
    QVERIFY(trend && trend->isVisible());
    trend->resize(900, 700);
    QTemporaryDir dir;
    const QString path = dir.filePath("absence.csv");
    QVERIFY(trend->startRecording(path));
    QTRY_VERIFY_WITH_TIMEOUT(trend->recordedRows() >= 3 && trend->samples().newest().valid, 10000);

    sim.process().kill();
    QTRY_VERIFY_WITH_TIMEOUT(logText(w).contains("设备丢失"), 5000);
    const qint64 lastSample = trend->samples().at(trend->samples().nearestValid(trend->viewTo())).msecs;
    const int rowsAtLoss = trend->recordedRows();
    const qint64 viewAtLoss = trend->viewTo();
    QElapsedTimer away;
    away.start();
    QTest::qWait(3000);

    // One lost row per poll interval of the absence, and the header says why.
    const int lostRows = trend->recordedRows() - rowsAtLoss;
    const double ticks = away.elapsed() / 500.0;
    QVERIFY2(lostRows >= ticks - 2 && lostRows <= ticks + 2,
             qPrintable(QStringLiteral("%1 rows in %2 poll intervals").arg(lostRows).arg(ticks)));
    const QString header = trend->findChild<QLabel *>("labelRecordState")->text();
    QVERIFY2(header.contains("设备未连接"), qPrintable(header));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    const QByteArray emptyValues(StatusRecord::csvHeader().size() - 1, ',');
    for (int i = lines.size() - lostRows; i < lines.size(); ++i)
        QVERIFY2(lines[i].endsWith(emptyValues) && !lines[i].endsWith(',' + emptyValues), lines[i].constData());

    // The time axis goes on; no line is drawn into the absence.
    QVERIFY2(trend->viewTo() >= viewAtLoss + 2000,
             qPrintable(QStringLiteral("view moved %1 ms").arg(trend->viewTo() - viewAtLoss)));
    trend->redraw();
    for (const auto &line : trend->drawnSegments(TrendLaserTemp)) {
        for (const QPointF &p : line)
            QVERIFY(qint64(p.x()) <= lastSample);
    }
}

void TestLostDevice::reconnectsByTheOpenedName_data()
{
    QTest::addColumn<bool>("reenumerated");
    QTest::newRow("restarted on the same path") << false;
    QTest::newRow("new terminal behind the same stable name") << true;
}

void TestLostDevice::reconnectsByTheOpenedName()
{
    QFETCH(bool, reenumerated);
    QTemporaryDir dir;
    const QString link = dir.filePath("by-id-laser");
    auto *first = new SimProcess({"--link", link});
    QVERIFY2(first->isRunning(), qPrintable(first->errorText()));
    w = new AdminWd;
    w->show();
    QVERIFY(reconnectOption(w) && reconnectOption(w)->isChecked()); // on by default
    openPort(w, link);
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "SoftVersion"), QString("V1.5"), 5000);

    SimProcess *second = nullptr;
    if (reenumerated) {
        // The boot loader's terminal appears behind the name, the old one goes.
        second = new SimProcess;
        QVERIFY2(second->isRunning(), qPrintable(second->errorText()));
        QVERIFY(repointLink(link, second->ptyPath()));
        first->process().kill();
    } else {
        first->terminate(); // the link goes with it
    }
    QTRY_VERIFY_WITH_TIMEOUT(logText(w).contains(link + "设备丢失，串口已关闭，等待重新连接"), 5000);
    if (!reenumerated) {
        QCOMPARE(lineText(w, "ComNameShow"), "等待重连：" + link);
        // While the device is away the window looks now and then, quietly.
        const QString logBefore = logText(w);
        const qint64 cpuBefore = processCpuMs();
        QTest::qWait(2500);
        const qint64 cpu = processCpuMs() - cpuBefore;
        QVERIFY2(cpu < 500, qPrintable(QStringLiteral("%1 ms CPU in 2.5 s").arg(cpu)));
        QCOMPARE(logText(w), logBefore);
        QCOMPARE(lineText(w, "ComNameShow"), "等待重连：" + link);
        QVERIFY(stateLampsFaded(w));
        second = new SimProcess({"--link", link});
        QVERIFY2(second->isRunning(), qPrintable(second->errorText()));
    }
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "ComNameShow"), link, 8000);
    QCOMPARE(logCount(w, link + "设备已恢复，串口已重新打开"), 1);
    QTRY_VERIFY_WITH_TIMEOUT(second->receivedFrames().size() >= 2, 5000); // the polls go to the device found again
    QTRY_VERIFY_WITH_TIMEOUT(allLampsLive(w), 5000);
    QVERIFY(darkestInk(w, "SoftVersion") < 100);
    destroyWindow(w);
    delete second;
    delete first;
}

void TestLostDevice::remembersPortAndOptions()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    auto *dialog = w->findChild<CommSet *>();
    dialog->setExtraPorts({sim.ptyPath()});
    dialog->refreshPortList();
    box(dialog, "baudRate")->setCurrentText("9600");
    box(dialog, "stopBits")->setCurrentText("2");
    box(dialog, "paritySelect")->setCurrentText("偶校验");
    QTest::mouseClick(dialog->findChild<QPushButton *>("switchSerial"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "ComNameShow"), sim.ptyPath(), 5000);
    QVERIFY(reconnectOption(w));
    reconnectOption(w)->trigger(); // switched off
    destroyWindow(w);

    // The next run: the same port and line settings are chosen, the option kept.
    w = new AdminWd;
    w->show();
    dialog = w->findChild<CommSet *>();
    QTRY_VERIFY(dialog->isVisible());
    QCOMPARE(box(dialog, "serialName")->currentText(), sim.ptyPath());
    QCOMPARE(box(dialog, "baudRate")->currentText(), QString("9600"));
    QCOMPARE(box(dialog, "stopBits")->currentText(), QString("2"));
    QCOMPARE(box(dialog, "paritySelect")->currentText(), QString("偶校验"));
    QVERIFY(!reconnectOption(w)->isChecked());
    QTest::mouseClick(dialog->findChild<QPushButton *>("switchSerial"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "ComNameShow"), sim.ptyPath(), 5000);
}

QTEST_MAIN(TestLostDevice)
#include "tst_lostdevice.moc"
