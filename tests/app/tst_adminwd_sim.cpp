// The main window against the simulated laser (korvex-sim on a pty), opened
// the way an operator does it: through the serial settings dialog.

#include "Protocol.h"
#include "SimProcess.h"
#include "WindowHarness.h"

#include <QRegularExpression>
#include <QSpinBox>

using namespace Harness;

static QByteArray hex(const char *s) { return QByteArray::fromHex(s); }
static QByteArray frame(quint16 word, const QByteArray &data) { return Protocol().packFrame(word, data); }

class TestAdminWdSim : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void pollShowsTheSimulatedDevice();
    void controlsReachTheDevice();
    void refusedCommand();
    void silentDeviceTurnsLinkLampRed();

private:
    static int framesLike(const SimProcess &sim, const QByteArray &frame)
    {
        return sim.receivedFrames().count(frame);
    }
    AdminWd *w = nullptr;
};

void TestAdminWdSim::cleanup()
{
    destroyWindow(w);
}

void TestAdminWdSim::pollShowsTheSimulatedDevice()
{
    SimProcess sim({"--firmware", "2.7", "--ld-type", "1", "--run-seconds", "7300"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    QVERIFY(logText(w).contains(sim.ptyPath() + "打开成功"));
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "SoftVersion"), QString("V2.7"), 5000);

    // Values the simulator starts with.
    QCOMPARE(lineText(w, "devLdType"), QString("Ld-30W"));
    QCOMPARE(lineText(w, "LdWorkHours"), QString("2H"));
    QCOMPARE(lineText(w, "devSerialNum"), QString("25001-202407090001"));
    QCOMPARE(lineText(w, "TempThreshold"), QString("50.0℃"));
    QCOMPARE(lineText(w, "lineEdit_MaxDacShow"), QString("3000"));
    QCOMPARE(lineText(w, "PowerPercentShow"), QString("0"));
    QCOMPARE(lineText(w, "StatAutoCompensation"), QString("0H"));
    // Values that move with the simulated physics: their form.
    const QRegularExpression count("^\\d+$"), rpm("^\\d+ rpm$"), amps("^\\d+\\.\\d\\d A$"),
        temp("^-?\\d+\\.\\d ℃$");
    for (const char *f : {"DevRxFrame", "DevTxFrame"})
        QVERIFY2(count.match(lineText(w, f)).hasMatch(), f);
    for (const char *f : {"FanSpeed1", "FanSpeed2", "FanSpeed3"})
        QVERIFY2(rpm.match(lineText(w, f)).hasMatch(), f);
    for (const char *f : {"LdCurrent", "tecCurrent"})
        QVERIFY2(amps.match(lineText(w, f)).hasMatch(), f);
    for (const char *f : {"LdTemp", "LdTemp_2", "mcuTemperature", "envTemperature"})
        QVERIFY2(temp.match(lineText(w, f)).hasMatch(), qPrintable(lineText(w, f)));
    QVERIFY(lineText(w, "DevRxFrame").toUInt() >= 1);
    QCOMPARE(lamp(w, "label_LdOnOffStat"), Lamp::Red);
    QCOMPARE(lamp(w, "CommStat"), Lamp::Green);
    QCOMPARE(lamp(w, "labelTempAlarm"), Lamp::Green);

    // Every request the device got was the status query.
    QTRY_VERIFY_WITH_TIMEOUT(sim.receivedFrames().size() >= 2, 5000);
    for (const QByteArray &f : sim.receivedFrames())
        QCOMPARE(f.toHex(), QByteArray("0100c1019188"));
}

void TestAdminWdSim::controlsReachTheDevice()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());

    click(w, "btnTurnOnLd");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "开启光源成功"), 1, 5000);
    QCOMPARE(framesLike(sim, hex("01001101CC48")), 1);
    // The laser lamp follows the device's next status reply.
    QTRY_COMPARE_WITH_TIMEOUT(lamp(w, "label_LdOnOffStat"), Lamp::Green, 5000);

    auto *power = w->findChild<QSpinBox *>("spinBox_PowerVal");
    power->setFocus();
    power->selectAll();
    QTest::keyClicks(power, "750");
    QTest::keyClick(power, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "设置激光功率成功"), 1, 5000);
    QCOMPARE(framesLike(sim, frame(0x0012, hex("02EE"))), 1);
    QTest::qWait(1200); // the device reports it back in its status
    QCOMPARE(lineText(w, "PowerPercentShow"), QString("750"));

    w->findChild<QSpinBox *>("spinBoxMaxDac")->setValue(400);
    click(w, "btnSetMaxDacPlus_2");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "仅设置最大DAC（不保存)成功"), 1, 5000);
    QCOMPARE(framesLike(sim, frame(0x00A2, hex("018F"))), 1);
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "lineEdit_MaxDacShow"), QString("399"), 5000);

    click(w, "btnZeroFrameNum");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "设置收发帧数成功"), 1, 5000);
    QCOMPARE(framesLike(sim, frame(0x0014, QByteArray(8, 0))), 1);

    click(w, "btnSoftReset");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "软件重启成功"), 1, 5000);
    QCOMPARE(framesLike(sim, hex("0100015AA5B2DB")), 1);
}

void TestAdminWdSim::refusedCommand()
{
    SimProcess sim({"--refuse", "0x0013"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    click(w, "btnLdTempThSet");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "设置温度保护阈值失败，设备处理命令返回错误"), 1, 5000);
    QCOMPARE(framesLike(sim, frame(0x0013, hex("01F4"))), 1);
    QCOMPARE(lamp(w, "CommStat"), Lamp::Green);
}

void TestAdminWdSim::silentDeviceTurnsLinkLampRed()
{
    SimProcess sim({"--silent-after", "1"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "SoftVersion"), QString("V1.5"), 5000);
    click(w, "btnTurnOffLd");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "关闭光源失败，总线数据丢失"), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(lamp(w, "CommStat"), Lamp::Red, 15000);
    QVERIFY(sim.receivedFrames().size() >= 12);
    // The display keeps the last good values.
    QCOMPARE(lineText(w, "SoftVersion"), QString("V1.5"));
}

QTEST_MAIN(TestAdminWdSim)
#include "tst_adminwd_sim.moc"
