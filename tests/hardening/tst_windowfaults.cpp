// The main window polling the simulated laser over a faulty line: a few
// percent of the replies dropped, corrupted, split, delayed or padded, then
// the device frozen for several seconds. Checked against the simulator's
// per-request fault log: every write whose reply was lost is logged as a
// failure; the error count follows the consecutive failures; the link lamp
// is red exactly while the count exceeds 10; the fields and lamps only ever
// show what the last reply that passed the check said.

#include "FaultLog.h"
#include "Protocol.h"
#include "SimProcess.h"
#include "StatusDecoder.h"
#include "StatusFormat.h"
#include "WindowHarness.h"
#include "WriteResult.h"

#include <QElapsedTimer>
#include <QtTest>

#include "CpuClock.h"

#include <csignal>

namespace {

struct Result
{
    bool write = false;
    int code = -1;
    QByteArray frame;
};

} // namespace

class WindowFaults : public QObject
{
    Q_OBJECT
private slots:
    void displayShowsOnlyCheckedReplies();
    void pulledCableShowsDisconnected();
    void chatteringLineStaysConnected_data();
    void chatteringLineStaysConnected();

private:
    QStringList fieldTexts() const;
    QList<Harness::Lamp> deviceLamps() const;

    AdminWd *m_window = nullptr;
    QStringList m_fieldNames;
    QStringList m_lampNames; // every lamp but the link lamp
};

QStringList WindowFaults::fieldTexts() const
{
    QStringList texts;
    for (const QString &name : m_fieldNames)
        texts << Harness::lineText(m_window, name);
    return texts;
}

QList<Harness::Lamp> WindowFaults::deviceLamps() const
{
    // The state each lamp shows; whether it is drawn live or faded is the
    // link's liveness, checked on its own below.
    QList<Harness::Lamp> lamps;
    for (const QString &name : m_lampNames) {
        const Harness::Lamp lamp = Harness::lamp(m_window, name);
        lamps << (lamp == Harness::Lamp::FadedGreen ? Harness::Lamp::Green
                  : lamp == Harness::Lamp::FadedRed ? Harness::Lamp::Red
                                                    : lamp);
    }
    return lamps;
}

void WindowFaults::displayShowsOnlyCheckedReplies()
{
    QTemporaryDir dir;
    const QString faultLog = dir.filePath("faults.log");
    SimProcess sim({"--seed", "77", "--drop", "0.05", "--corrupt", "0.05", "--trailing", "0.03", "--split", "0.05",
                    "--split-pause", "5", "--delay", "30", "--delay-share", "0.05", "--fault-log", faultLog});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));

    m_window = new AdminWd;
    for (const auto &field : StatusFormat::fieldTexts(DevStatusCache()))
        m_fieldNames << field.first;
    for (const auto &lamp : StatusFormat::lampStates(DevStatusCache()))
        if (lamp.first != QLatin1String("CommStat"))
            m_lampNames << lamp.first;
    QCOMPARE(m_lampNames.size(), 5);

    // Watchers run after the window's own slots for the same result, so they
    // see what the window made of it.
    QVector<Result> results;
    QVector<quint32> counts;
    QStringList lastFields = fieldTexts();
    QList<Harness::Lamp> lastLamps = deviceLamps();
    QStringList problems;
    int redSeen = 0;
    PlCommand *pl = m_window->executor();
    // The executor may still emit after the window is gone (a poll on the line
    // while it is deleted); those results reach these watchers from
    // destroyWindow's event processing, with m_window null by then.
    int lateResults = 0;
    connect(pl, &PlCommand::sendCommErrNums, this, [&](quint32 n) {
        counts << n;
        if (!m_window) {
            ++lateResults;
            return;
        }
        const Harness::Lamp expected = n > 10 ? Harness::Lamp::Red : Harness::Lamp::Green;
        if (Harness::lamp(m_window, "CommStat") != expected)
            problems << QStringLiteral("link lamp wrong at count %1").arg(n);
        // A unit that stopped answering looks not-live once the link lamp is red.
        if (n > 10) {
            for (const QString &name : m_lampNames) {
                const Harness::Lamp lamp = Harness::lamp(m_window, name);
                if (lamp != Harness::Lamp::FadedGreen && lamp != Harness::Lamp::FadedRed)
                    problems << QStringLiteral("%1 looks live at count %2").arg(name).arg(n);
            }
        }
        redSeen += expected == Harness::Lamp::Red;
    });
    connect(pl, &PlCommand::readCmdResult, this, [&](quint8 code, QByteArray reply) {
        results.append({false, code, reply});
        if (!m_window)
            return;
        if (code == 0 && StatusDecoder::commandWord(reply) == StatusDecoder::WordAllStatus) {
            DevStatusCache fresh;
            if (!StatusDecoder::parseAllStatus(fresh, reply)) {
                problems << "a short status reply passed the check";
                return;
            }
            StatusDecoder::decodeAlarmBits(fresh);
            StatusDecoder::decodeLaserState(fresh);
            QStringList expected;
            for (const auto &field : StatusFormat::fieldTexts(fresh))
                expected << field.second;
            QList<Harness::Lamp> expectedLamps;
            for (const auto &lamp : StatusFormat::lampStates(fresh))
                if (lamp.first != QLatin1String("CommStat"))
                    expectedLamps << (lamp.second ? Harness::Lamp::Green : Harness::Lamp::Red);
            if (fieldTexts() != expected)
                problems << "fields differ from the last good status reply";
            if (deviceLamps() != expectedLamps)
                problems << "lamps differ from the last good status reply";
        } else if (code != 0) {
            if (fieldTexts() != lastFields || deviceLamps() != lastLamps)
                problems << QStringLiteral("a failed read (code %1) changed the display").arg(code);
        }
        lastFields = fieldTexts();
        lastLamps = deviceLamps();
    });
    connect(pl, &PlCommand::writeCmdResult, this, [&](quint8 code, QByteArray frame) {
        results.append({true, code, frame});
        if (!m_window)
            return;
        if (code != 0 && (fieldTexts() != lastFields || deviceLamps() != lastLamps))
            problems << "a failed write changed the display";
        lastFields = fieldTexts();
        lastLamps = deviceLamps();
    });

    Harness::openPort(m_window, sim.ptyPath());

    // Some operator writes on the faulty line while the window polls.
    const char *buttons[] = {"btnTurnOnLd", "btnZeroFrameNum", "btnTurnOffLd"};
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; clock.elapsed() < 20000; ++i) {
        Harness::click(m_window, buttons[i % 3]);
        QTest::qWait(700);
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));

    // The device freezes for 7 s (14 polls): the link lamp turns red after
    // the 11th failure in a row and green with the first good reply.
    ::kill(pid_t(sim.process().processId()), SIGSTOP);
    QTest::qWait(7000);
    QCOMPARE(Harness::lamp(m_window, "CommStat"), Harness::Lamp::Red);
    ::kill(pid_t(sim.process().processId()), SIGCONT);
    QTRY_COMPARE_WITH_TIMEOUT(Harness::lamp(m_window, "CommStat"), Harness::Lamp::Green, 5000);
    QTest::qWait(1500);

    const QString log = Harness::logText(m_window);
    Harness::destroyWindow(m_window);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
    QVERIFY(redSeen > 0);

    // Zip the results with the simulator's fault decisions, request by request.
    QVERIFY(sim.waitForFrames(results.size()));
    QTest::qWait(300);
    const QList<FaultRecord> fates = readFaultLog(faultLog);
    QCOMPARE(fates.size(), results.size());
    QCOMPARE(counts.size(), results.size());
    quint32 expectedCount = 0;
    int lostWrites = 0, goodWrites = 0;
    QString expectedLog;
    for (int i = 0; i < results.size(); ++i) {
        const Result &r = results[i];
        if (r.write) {
            QCOMPARE(fates[i].request, r.frame);
            expectedLog += WriteResult::logMessage(quint8(r.code), r.frame);
            goodWrites += r.code == 0;
        }
        if (fates[i].replyLost()) {
            QVERIFY2(r.code == 255, qPrintable(QStringLiteral("request %1: lost reply gave code %2").arg(i).arg(r.code)));
            lostWrites += r.write;
        }
        expectedCount = r.code == 255 ? expectedCount + 1 : 0;
        QCOMPARE(counts[i], expectedCount);
    }
    // The debug box holds one line per write, in order, with these outcomes.
    QString plainLog = log;
    plainLog.remove(QLatin1Char('\r'));
    QStringList logLines = plainLog.split('\n', Qt::SkipEmptyParts);
    logLines.removeFirst(); // the port opened
    // The freeze is one line when the unit stops answering and one when it
    // answers again; every other line is a write's.
    QCOMPARE(logLines.filter(QString::fromUtf8("设备无应答")).size(), 1);
    QCOMPARE(logLines.filter(QString::fromUtf8("设备恢复应答")).size(), 1);
    for (int i = logLines.size() - 1; i >= 0; --i) {
        if (logLines[i].contains(QString::fromUtf8("设备无应答")) || logLines[i].contains(QString::fromUtf8("设备恢复应答")))
            logLines.removeAt(i);
    }
    QCOMPARE(logLines, expectedLog.split('\n', Qt::SkipEmptyParts));
    qInfo("%d exchanges, %d writes succeeded, %d writes lost their reply; highest error count %u; "
          "%d results after the window was deleted",
          int(results.size()), goodWrites, lostWrites, *std::max_element(counts.begin(), counts.end()), lateResults);
    QVERIFY(lostWrites + goodWrites > 0);
}

void WindowFaults::pulledCableShowsDisconnected()
{
    auto *sim = new SimProcess;
    QVERIFY2(sim->isRunning(), qPrintable(sim->errorText()));
    m_window = new AdminWd;
    Harness::openPort(m_window, sim->ptyPath());
    QTRY_COMPARE_WITH_TIMEOUT(Harness::lineText(m_window, "SoftVersion"), QStringLiteral("V1.5"), 5000);
    const QStringList before = fieldTexts();

    // The far end vanishes: the port is closed and the window says so; the
    // last values stay on show, and nothing keeps the process busy.
    const QString pty = sim->ptyPath();
    QElapsedTimer sincePull;
    double shownAfterMs = -1;
    auto *nameField = m_window->centralWidget()->findChild<QLineEdit *>(QStringLiteral("ComNameShow"));
    connect(nameField, &QLineEdit::textChanged, this, [&] { shownAfterMs = sincePull.nsecsElapsed() / 1e6; });
    sincePull.start();
    sim->process().kill();
    sim->process().waitForFinished(5000);
    delete sim;
    QTRY_COMPARE_WITH_TIMEOUT(Harness::lineText(m_window, "ComNameShow"), QStringLiteral("连接断开"), 5000);
    qInfo("far end closed -> \"连接断开\" shown: %.1f ms", shownAfterMs);
    disconnect(nameField, nullptr, this, nullptr);
    // Logged as the loss it was, not as an operator's close.
    QString log = Harness::logText(m_window);
    QVERIFY2(log.contains(pty + QStringLiteral("设备丢失，串口已关闭")), qPrintable(log));
    QVERIFY2(!log.contains(QStringLiteral("关闭成功")), qPrintable(log));
    const qint64 cpu0 = processCpuMs();
    QTest::qWait(2000);
    const qint64 cpu = processCpuMs() - cpu0;
    QVERIFY2(cpu < 1000, qPrintable(QStringLiteral("%1 ms CPU in 2 s").arg(cpu)));
    QCOMPARE(fieldTexts(), before);
    // Polling has stopped: no command fails on the closed port.
    log = Harness::logText(m_window);
    QVERIFY(!log.contains(QStringLiteral("串口未打开")));
    Harness::destroyWindow(m_window);
}

void WindowFaults::chatteringLineStaysConnected_data()
{
    QTest::addColumn<int>("everyMs");
    QTest::newRow("a byte every 20 ms") << 20;
    QTest::newRow("a byte every 1 ms") << 1;
}

void WindowFaults::chatteringLineStaysConnected()
{
    // A device that sends unsolicited bytes (debug text, line noise) while
    // the operator presses "关闭光源" 40 times: the bytes keep arriving as
    // commands and polls are queued, and the link stays up throughout.
    QFETCH(int, everyMs);
    SimProcess sim({"--chatter", QString::number(everyMs)});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    m_window = new AdminWd;
    Harness::openPort(m_window, sim.ptyPath());
    for (int i = 0; i < 40; ++i) {
        Harness::click(m_window, "btnTurnOffLd");
        QTest::qWait(150);
        QCOMPARE(Harness::lineText(m_window, "ComNameShow"), sim.ptyPath());
    }
    QTRY_COMPARE_WITH_TIMEOUT(Harness::logCount(m_window, "关闭光源"), 40, 5000);
    QTest::qWait(1000);
    const QString log = Harness::logText(m_window);
    QCOMPARE(Harness::lineText(m_window, "ComNameShow"), sim.ptyPath());
    QVERIFY2(!log.contains(QStringLiteral("关闭成功")) && !log.contains(QStringLiteral("设备丢失"))
                 && !log.contains(QStringLiteral("串口未打开")),
             qPrintable(log));
    qInfo("关闭光源: %d of 40 answered", Harness::logCount(m_window, "关闭光源成功"));
    Harness::destroyWindow(m_window);
}

QTEST_MAIN(WindowFaults)
#include "tst_windowfaults.moc"
