// The main window on a technician's bench, against korvex-sim: a unit that
// stops answering through an open port, the update window finding the port
// the device is on and handing it back, settings that would hurt, and
// factory mode that can be left.

#include "UpdateTestSupport.h"
#include "CommandCatalogue.h"
#include "PidAdjust.h"
#include "SimProcess.h"
#include "UpdateWidget.h"
#include "WindowHarness.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QRegularExpression>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>

#include <csignal>

using namespace Harness;

namespace {

const char *const StateLamps[] = {"label_LdOnOffStat", "labelTempAlarm", "labelFanAlarm_1", "labelFanAlarm_2",
                                   "labelFanAlarm_3"};

bool stateLamps(AdminWd *w, bool live)
{
    for (const char *name : StateLamps) {
        const Lamp l = lamp(w, QString::fromLatin1(name));
        const bool isLive = l == Lamp::Green || l == Lamp::Red;
        const bool isFaded = l == Lamp::FadedGreen || l == Lamp::FadedRed;
        if (live ? !isLive : !isFaded)
            return false;
    }
    return true;
}

void typeInto(QWidget *box, const QString &text)
{
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, text);
}

} // namespace

class TestServiceBench : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { destroyWindow(w); }
    void silentUnitLooksNotLive_data();
    void silentUnitLooksNotLive();
    void updateWindowFindsAndGivesBackThePort();
    void cutValueIsShownAndNotSent_data();
    void cutValueIsShownAndNotSent();
    void thresholdBelowLaserTemperatureAsks_data();
    void thresholdBelowLaserTemperatureAsks();
    void factoryModeShownAndLeft();
    void tecWindowSaysItsState();
    void fanAndPidWindowsSayTheirState_data();
    void fanAndPidWindowsSayTheirState();
    void lampsSayTheirState();
    void logShowsTimesWhenAsked();

private:
    void openOnSim(SimProcess &sim);
    QTemporaryDir settingsDir;
    AdminWd *w = nullptr;
};

void TestServiceBench::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
}

void TestServiceBench::openOnSim(SimProcess &sim)
{
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "SoftVersion"), QString("V1.5"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(stateLamps(w, true), 5000);
}

void TestServiceBench::silentUnitLooksNotLive_data()
{
    QTest::addColumn<bool>("comesBack");
    QTest::newRow("silent after 6 requests") << false;
    QTest::newRow("stopped, then answering again") << true;
}

void TestServiceBench::silentUnitLooksNotLive()
{
    QFETCH(bool, comesBack);
    SimProcess sim(comesBack ? QStringList() : QStringList{"--silent-after", "6"});
    openOnSim(sim);
    if (comesBack)
        QVERIFY(::kill(pid_t(sim.process().processId()), SIGSTOP) == 0);
    const QString stopped = sim.ptyPath() + "设备无应答";
    // More than ten failed exchanges turn the link lamp red: from then on
    // the unit looks as one whose port is gone, and the log says so once.
    QTRY_COMPARE_WITH_TIMEOUT(lamp(w, "CommStat"), Lamp::Red, 15000);
    QCOMPARE(logCount(w, stopped), 1);
    QVERIFY(stateLamps(w, false));
    QVERIFY2(darkestInk(w, "SoftVersion") > 120, "stale values in grey");
    QCOMPARE(lineText(w, "SoftVersion"), QString("V1.5")); // still readable
    QTest::qWait(1500);
    QCOMPARE(logCount(w, stopped), 1);
    QVERIFY(stateLamps(w, false));
    if (!comesBack)
        return;
    QVERIFY(::kill(pid_t(sim.process().processId()), SIGCONT) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(stateLamps(w, true), 10000);
    QCOMPARE(lamp(w, "CommStat"), Lamp::Green);
    QVERIFY2(darkestInk(w, "SoftVersion") < 100, "live values in black");
    QCOMPARE(logCount(w, sim.ptyPath() + "设备恢复应答"), 1);
    QCOMPARE(logCount(w, stopped), 1);
}

void TestServiceBench::updateWindowFindsAndGivesBackThePort()
{
    QTemporaryDir work;
    QVERIFY(QDir().mkpath(work.filePath("device")));
    // The device comes back behind a stable name, as a boot loader would.
    const QString link = work.filePath("by-id-laser");
    SimProcess sim({"--link", link, "--firmware-dir", work.filePath("device"), "--firmware", "2.7"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    const QString image = work.filePath("laser-2.7.bin");
    QFile f(image);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(5000, 'k'));
    f.close();
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    QTRY_VERIFY_WITH_TIMEOUT(!lineText(w, "SoftVersion").isEmpty(), 5000);

    BoxAnswer yes;
    answerNextBox(&yes, QMessageBox::Yes);
    w->findChild<QAction *>("actionupdateDev")->trigger();
    auto *update = w->findChild<UpdateWidget *>();
    QVERIFY(update->isVisible());
    auto *port = update->findChild<QComboBox *>("comPort");
    // The main window's last port comes first.
    QCOMPARE(port->itemText(0), sim.ptyPath());
    QCOMPARE(port->currentText(), sim.ptyPath());

    // A typed name survives the refresh button and a new showing.
    QVERIFY(port->isEditable());
    QTRY_VERIFY_WITH_TIMEOUT(logText(w).contains(sim.ptyPath() + "关闭成功"), 5000);
    typeInto(port, link);
    update->findChild<QAbstractButton *>("comRefresh")->click();
    QCOMPARE(port->currentText(), link);
    update->hide();
    update->show();
    QCOMPARE(port->currentText(), link);
    QCOMPARE(port->itemText(0), sim.ptyPath());

    // The send goes to the typed name; the outcome is one main-window line.
    MessageCatcher catcher;
    update->findChild<QComboBox *>("comBaudRate")->setCurrentText("115200");
    update->findChild<QPushButton *>("comButton")->click();
    QCOMPARE(update->findChild<QPushButton *>("comButton")->text(), QString("关闭串口"));
    update->findChild<QLineEdit *>("transmitPath")->setText(image);
    update->findChild<QPushButton *>("transmitButton")->setEnabled(true);
    auto *reopen = update->findChild<QPushButton *>("reopenDeviceButton");
    QVERIFY(reopen && !reopen->isVisible());
    update->findChild<QPushButton *>("transmitButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(catcher.seen.size(), 1, 30000);
    QCOMPARE(catcher.seen[0].text, QString("文件发送成功！"));
    QCOMPARE(logCount(w, "文件发送完成：" + image + "，5000 字节"), 1);

    // Handing the port back: the link opens it and logs the firmware.
    QVERIFY(reopen->isVisible());
    reopen->click();
    QVERIFY(!update->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "ComNameShow"), link, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "设备现在的固件版本：V2.7"), 1, 5000);
    QCOMPARE(catcher.seen.size(), 1);
}

void TestServiceBench::cutValueIsShownAndNotSent_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("save");
    QTest::addColumn<QString>("shown");
    QTest::newRow("threshold 200") << "doubleSpinBoxLdTempThValue" << "200" << "btnLdTempThSet" << "20";
    QTest::newRow("power 2000") << "spinBox_PowerVal" << "2000" << "" << "200";
    QTest::newRow("compensation 1000000") << "spinBoxAutoCompensation" << "1000000" << "btn_SaveAutoCompensation"
                                          << "100000";
}

void TestServiceBench::cutValueIsShownAndNotSent()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, save);
    QFETCH(QString, shown);
    SimProcess sim;
    openOnSim(sim);
    w->changeUserMode("velmandro583");
    auto *spin = w->findChild<QAbstractSpinBox *>(box);
    QVERIFY(!spin->toolTip().isEmpty()); // range and unit
    const int writesBefore = sim.receivedFrames().size();
    typeInto(spin, typed);
    QVERIFY2(spin->text().startsWith(shown), qPrintable(spin->text()));
    QVERIFY2(spin->styleSheet().contains("border"), "a cut value is marked");
    if (save.isEmpty())
        QTest::keyClick(spin, Qt::Key_Return);
    else
        click(w, save.toLatin1().constData());
    QTRY_VERIFY_WITH_TIMEOUT(logText(w).contains("输入超出范围"), 2000);
    QTest::qWait(700);
    for (const QByteArray &frame : sim.receivedFrames().mid(writesBefore))
        QVERIFY2(frame.mid(1, 2) == QByteArray::fromHex("00C1"), frame.toHex().constData()); // polls only
    // Corrected, the mark goes and the value is sent.
    QTest::keyClick(spin, Qt::Key_Backspace);
    QVERIFY(spin->styleSheet().isEmpty());
}

void TestServiceBench::thresholdBelowLaserTemperatureAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("no: nothing sent") << int(QMessageBox::No);
    QTest::newRow("yes: sent") << int(QMessageBox::Yes);
}

void TestServiceBench::thresholdBelowLaserTemperatureAsks()
{
    QFETCH(int, answer);
    SimProcess sim;
    openOnSim(sim);
    // The simulated laser sits near 25 ℃; 22.0 ℃ would trip the protection.
    auto *threshold = w->findChild<QDoubleSpinBox *>("doubleSpinBoxLdTempThValue");
    threshold->setValue(22.0);
    const int framesBefore = sim.receivedFrames().size();
    BoxAnswer box;
    answerNextBox(&box, QMessageBox::StandardButton(answer));
    click(w, "btnLdTempThSet");
    QVERIFY(box.seen);
    QVERIFY2(box.text.contains("22.0 ℃") && box.text.contains("激光当前温度 2"), qPrintable(box.text));
    QCOMPARE(box.defaultButton, QMessageBox::No);
    QTest::qWait(700);
    int thresholdWrites = 0;
    for (const QByteArray &frame : sim.receivedFrames().mid(framesBefore))
        thresholdWrites += frame.mid(1, 2) != QByteArray::fromHex("00C1");
    QCOMPARE(thresholdWrites, answer == QMessageBox::Yes ? 1 : 0);

    // Above the laser's temperature nothing is asked.
    threshold->setValue(45.0);
    bool asked = false;
    QTimer::singleShot(300, this, [&asked] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            asked = true;
            box->reject();
        }
    });
    click(w, "btnLdTempThSet");
    QTest::qWait(400);
    QVERIFY(!asked);
}

void TestServiceBench::factoryModeShownAndLeft()
{
    w = new AdminWd;
    w->show();
    auto *leave = w->findChild<QAction *>("actionLeaveFactoryMode");
    QVERIFY(leave && !leave->isVisible());
    QCOMPARE(w->windowTitle(), QString("Korvex"));
    w->changeUserMode("velmandro583");
    QVERIFY(leave->isVisible());
    QCOMPARE(leave->text(), QString("退出工厂模式"));
    QVERIFY(w->windowTitle().contains("工厂模式"));
    w->findChild<QAction *>("actiontecDebug")->trigger();
    QWidget *tec = w->findChild<QWidget *>("TecDebug");
    QVERIFY(tec && tec->isVisible());
    leave->trigger();
    QCOMPARE(w->currentUserMode(), 1);
    QVERIFY(!tec->isVisible());
    QVERIFY(!w->findChild<QAction *>("actiontecDebug")->isVisible());
    QVERIFY(!w->centralWidget()->findChild<QWidget *>("spinBoxMaxDac")->isVisible());
    QCOMPARE(w->windowTitle(), QString("Korvex"));
}

void TestServiceBench::tecWindowSaysItsState()
{
    SimProcess sim;
    openOnSim(sim);
    w->changeUserMode("velmandro583");
    w->findChild<QAction *>("actiontecDebug")->trigger();
    QWidget *tec = w->findChild<QWidget *>("TecDebug");
    auto *state = tec->findChild<QLabel *>("labelTecState");
    QVERIFY(state);
    QVERIFY2(state->text().contains("未发送"), qPrintable(state->text()));
    QTest::mouseClick(tec->findChild<QPushButton *>("btnTurnOnTec"), Qt::LeftButton);
    QTest::mouseClick(tec->findChild<QPushButton *>("btnAtutoTecOff"), Qt::LeftButton);
    QVERIFY2(state->text().contains("TEC 打开") && state->text().contains("手动驱动"), qPrintable(state->text()));
    QTRY_VERIFY2_WITH_TIMEOUT(state->text().contains("TEC电流：" + lineText(w, "tecCurrent"))
                                  && !lineText(w, "tecCurrent").isEmpty(),
                              qPrintable(state->text()), 3000);
    QVERIFY(tec->findChild<QLineEdit *>("tecPowerVal")->isReadOnly());

    // A drag of 20 steps: every step is sent, one log line is written.
    const QString dacLog = CommandCatalogue::logName(CommandCatalogue::code(CommandWord::TecPowerDac), true);
    const int before = logCount(w, dacLog);
    auto *slider = tec->findChild<QSlider *>("tecPowerSet");
    slider->setSliderDown(true);
    for (int v = 1; v <= 20; ++v)
        slider->setValue(v * 95);
    slider->setSliderDown(false);
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "拖动中发送 20 次，失败 0 次"), 1, 5000);
    QTest::qWait(300);
    QCOMPARE(logCount(w, dacLog), before + 1);
    QVERIFY2(state->text().contains("1900 / 3800（50%）"), qPrintable(state->text()));
}

void TestServiceBench::fanAndPidWindowsSayTheirState_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("button"); // clicked, or empty
    QTest::addColumn<int>("pwm");        // the slider moved there, or -1
    QTest::addColumn<bool>("answering"); // a unit on the port
    QTest::addColumn<QString>("label");
    QTest::addColumn<QStringList>("says");
    QTest::newRow("fan, automatic") << "actionfanDebug" << "btnAutoFanOn" << -1 << true << "labelFanState"
                                    << QStringList{"风扇自动控制", "PWM 未发送", "转速：FanSpeed"};
    QTest::newRow("fan, PWM by hand") << "actionfanDebug" << "btnAutoFanOn" << 500 << true << "labelFanState"
                                      << QStringList{"风扇手动驱动", "PWM 500 / 1000（50%）", "转速：FanSpeed"};
    QTest::newRow("fan, no unit") << "actionfanDebug" << "" << -1 << false << "labelFanState"
                                  << QStringList{"上次发送：未发送", "转速：无"};
    QTest::newRow("PID, samples coming") << "actionPidDebug" << "" << -1 << true << "labelPidColumns"
                                         << QStringList{"温度（0.1 ℃），PWM，KP，KI，KD"};
    QTest::newRow("PID, no samples") << "actionPidDebug" << "" << -1 << false << "labelPidSamples"
                                     << QStringList{"秒内没有收到PID样本"};
}

void TestServiceBench::fanAndPidWindowsSayTheirState()
{
    QFETCH(QString, window);
    QFETCH(QString, button);
    QFETCH(int, pwm);
    QFETCH(bool, answering);
    QFETCH(QString, label);
    QFETCH(QStringList, says);
    SimProcess sim;
    if (answering) {
        openOnSim(sim);
    } else {
        w = new AdminWd;
        w->show();
    }
    w->changeUserMode("velmandro583");
    w->findChild<QAction *>(window)->trigger();
    QWidget *tool = QApplication::activeWindow();
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top->findChild<QLabel *>(label))
            tool = top;
    }
    auto *state = tool->findChild<QLabel *>(label);
    QVERIFY(state);
    if (!button.isEmpty())
        QTest::mouseClick(tool->findChild<QPushButton *>(button), Qt::LeftButton);
    if (pwm >= 0)
        tool->findChild<QSlider *>("fanPwmSetSlider")->setValue(pwm);
    // The speeds the main window shows, as the status reports them.
    for (QString &text : says)
        text.replace("FanSpeed", lineText(w, "FanSpeed1") + " / " + lineText(w, "FanSpeed2") + " / "
                                     + lineText(w, "FanSpeed3"));
    for (const QString &text : says)
        QTRY_VERIFY2_WITH_TIMEOUT(state->isVisible() && state->text().contains(text),
                                  qPrintable(state->text() + " lacks " + text), 5000);
    if (window == "actionPidDebug" && answering) {
        QTest::qWait(PidAdjust::SampleWaitMs + 500);
        QVERIFY(!tool->findChild<QLabel *>("labelPidSamples")->isVisible());
    }
}

void TestServiceBench::lampsSayTheirState()
{
    SimProcess sim({"--fan-stuck", "2"});
    openOnSim(sim);
    const auto word = [this](const char *lamp) {
        auto *label = w->centralWidget()->findChild<QLabel *>(QString::fromLatin1(lamp) + "Text");
        return label ? label->text() : QString("<none>");
    };
    QCOMPARE(word("CommStat"), QString("正常"));
    QCOMPARE(word("label_LdOnOffStat"), QString("关"));
    QCOMPARE(word("labelTempAlarm"), QString("正常"));
    QCOMPARE(word("labelFanAlarm_1"), QString("正常"));
    QTRY_COMPARE_WITH_TIMEOUT(word("labelFanAlarm_2"), QString("报警"), 5000);
    emit w->turnOffSpcomm();
    QTRY_COMPARE_WITH_TIMEOUT(word("CommStat"), QString("中断"), 5000);
}

void TestServiceBench::logShowsTimesWhenAsked()
{
    w = new AdminWd;
    auto *times = w->findChild<QAction *>("actionLogTimes");
    QVERIFY(times && times->isCheckable() && !times->isChecked());
    emit w->turnOffSpcomm(); // a line in the log: closing a port that is not open
    QTRY_VERIFY_WITH_TIMEOUT(!logText(w).isEmpty(), 5000);
    const QRegularExpression stamped("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} ");
    QVERIFY(!logText(w).contains(stamped));
    times->trigger();
    QVERIFY2(logText(w).contains(stamped), qPrintable(logText(w)));
    destroyWindow(w);
    // Remembered for the next run.
    w = new AdminWd;
    QVERIFY(w->findChild<QAction *>("actionLogTimes")->isChecked());
    w->findChild<QAction *>("actionLogTimes")->trigger();
}

QTEST_MAIN(TestServiceBench)
#include "tst_servicebench.moc"
