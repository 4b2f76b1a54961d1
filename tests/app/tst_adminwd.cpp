// The main window end to end: the real executor on a pseudo-terminal, with a
// scripted laser on the far side answering from the test's event loop.

#include "FakeLaser.h"
#include "StatusBytes.h"
#include "WindowHarness.h"

#include "StatusFormat.h"
#include "serialNumInput.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>

using namespace Harness;

static QByteArray hex(const char *s) { return QByteArray::fromHex(s); }
static QByteArray frame(quint16 word, const QByteArray &data) { return FakeLaser::frame(word, data); }

class TestAdminWd : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void formContents();
    void embeddedPictures();
    void startState();
    void openingLogsAndPollFillsEveryField();
    void controlsSendTheirFrames_data();
    void controlsSendTheirFrames();
    void catalogueWriteWithoutSignalOfItsOwn();
    void maxDacSteps();
    void powerSliderAndSpinBox();
    void serialNumberFlow();
    void refusedWrite();
    void writeWithPortClosed();
    void lostReplies();
    void linkLampFollowsErrorCount();
    void linkLampAfterElevenSilentPolls();
    void shortAndFailedRepliesLeaveDisplay();
    void writeBeforeFirstStatusShowsOnlyItsField();
    void unchangedFieldKeepsItsSelection();
    void pidReplyIsRelayed();
    void disconnectQuestionNo();
    void disconnectQuestionYesStopsPollKeepsValues();
    void repeatedConstruction();
    void redrawTime();

private:
    void openWithLaser();
    QSpinBox *spin(const char *name) { return w->findChild<QSpinBox *>(name); }

    PtyPair *pty = nullptr;
    FakeLaser *laser = nullptr;
    AdminWd *w = nullptr;
};

void TestAdminWd::init()
{
    pty = new PtyPair;
    QVERIFY(pty->isValid());
    laser = new FakeLaser(*pty);
    w = new AdminWd;
    w->show();
}

void TestAdminWd::cleanup()
{
    destroyWindow(w);
    delete laser;
    laser = nullptr;
    delete pty;
    pty = nullptr;
}

void TestAdminWd::openWithLaser()
{
    openPort(w, pty->slavePath());
}

void TestAdminWd::formContents()
{
    QCOMPARE(w->windowTitle(), QString("Korvex"));
    // The layout sets the smallest size, from the texts in the window's font.
    QCOMPARE(w->minimumSize(), w->minimumSizeHint());
    QCOMPARE(w->styleSheet(), QString("font: 12pt \"新宋体\";\n"));
    auto *slider = w->findChild<QSlider *>("horizontalSlider_PowerSet");
    QCOMPARE(slider->maximum(), 1000);
    QCOMPARE(slider->tickPosition(), QSlider::TicksAbove);
    QCOMPARE(spin("spinBox_PowerVal")->maximum(), 1000);
    QCOMPARE(spin("spinBox_PowerVal")->buttonSymbols(), QAbstractSpinBox::NoButtons);
    QCOMPARE(spin("spinBoxMaxDac")->minimum(), 400);
    QCOMPARE(spin("spinBoxMaxDac")->maximum(), 4095);
    QCOMPARE(spin("spinBoxAutoCompensation")->maximum(), 100000);
    auto *threshold = w->findChild<QDoubleSpinBox *>("doubleSpinBoxLdTempThValue");
    QCOMPARE(threshold->value(), 50.0);
    QCOMPARE(threshold->minimum(), 20.0);
    QCOMPARE(threshold->decimals(), 1);
    auto *type = w->findChild<QComboBox *>("comboBoxLdType");
    QCOMPARE(type->count(), 3);
    QCOMPARE(type->itemText(2), QString("激光50W"));
    QCOMPARE(type->currentIndex(), 0);
    QCOMPARE(w->findChild<QPushButton *>("btnTurnOffLd")->text(), QString(" 关闭光源"));
    QCOMPARE(w->findChild<QLabel *>("CommStat")->size(), QSize(30, 30));
    QCOMPARE(w->findChild<QGroupBox *>("groupBox_2")->title(), QString(" 数据显示"));

    QStringList menus;
    for (QAction *a : w->menuBar()->actions())
        menus << a->text();
    QCOMPARE(menus, (QStringList{"通讯设置", "其它功能", "帮助", "语言 / Language"}));
    QStringList other;
    for (QAction *a : w->findChild<QMenu *>("menu_2")->actions())
        other << (a->isSeparator() ? QString("|") : a->objectName() + "=" + a->text());
    // The trend window's, the log's, the event list's and the service report's
    // entries come after the specified ones.
    QCOMPARE(other, (QStringList{"actionPidDebug=Pid调试", "actiontecDebug=调试TEC", "actionfanDebug=风扇调试", "|",
                                 "actionupdateDev=升级设备", "actionFactoryMode=工厂模式", "actionTrend=趋势图", "|",
                                 "actionSaveLog=保存日志…", "actionClearLog=清空日志",
                                 "actionEvents=事件记录", "actionServiceReport=导出服务报告…"}));
    QCOMPARE(w->findChild<QAction *>("actionAbout")->text(), QString("关于"));
    QCOMPARE(w->findChild<QAction *>("actionSerialSet")->text(), QString("串口设置"));
}

void TestAdminWd::embeddedPictures()
{
    // Registered by the window's constructor (the library is static).
    const QImage green(":/green.png"), red(":/red.png"), icon(":/korvex_ico.ico");
    QCOMPARE(green.size(), QSize(584, 480));
    QCOMPARE(red.size(), QSize(584, 480));
    for (const QPoint p : {QPoint(0, 0), QPoint(583, 479), QPoint(300, 200)}) {
        QCOMPARE(green.pixel(p), qRgb(0x00, 0xFF, 0x00));
        QCOMPARE(red.pixel(p), qRgb(0xED, 0x1C, 0x24));
    }
    QCOMPARE(icon.size(), QSize(512, 512));
    QVERIFY(!w->windowIcon().isNull());
}

void TestAdminWd::startState()
{
    // The serial settings dialog is the first thing the operator sees.
    QVERIFY(w->findChild<CommSet *>()->isVisible());
    QCOMPARE(lineText(w, "ComNameShow"), QString("未连接"));
    // No link yet, and nothing known: the state lamps are faded.
    QCOMPARE(lamp(w, "CommStat"), Lamp::Red);
    QCOMPARE(lamp(w, "label_LdOnOffStat"), Lamp::FadedRed);
    for (const char *name : {"labelTempAlarm", "labelFanAlarm_1", "labelFanAlarm_2", "labelFanAlarm_3"})
        QCOMPARE(lamp(w, name), Lamp::FadedGreen);
    QCOMPARE(lineText(w, "SoftVersion"), QString());
    // The poll does nothing while no port is open.
    QTest::qWait(1200);
    QVERIFY(laser->frames().isEmpty());
    QCOMPARE(logText(w), QString());
}

void TestAdminWd::openingLogsAndPollFillsEveryField()
{
    laser->setStatusReply(StatusBytes::sample().frame());
    openWithLaser();
    QVERIFY(logText(w).contains(pty->slavePath() + "打开成功"));
    QVERIFY(!w->findChild<CommSet *>()->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "SoftVersion"), QString("V1.5"), 5000);
    const QVector<QPair<QString, QString>> expected = {
        {"PowerPercentShow", "640"}, {"TempThreshold", "45.5℃"}, {"DevRxFrame", "123456"},
        {"DevTxFrame", "654321"}, {"devSerialNum", "66051-202407090042"}, {"LdWorkHours", "2H"},
        {"StatAutoCompensation", "36H"}, {"FanSpeed1", "3000 rpm"}, {"FanSpeed2", "3100 rpm"},
        {"FanSpeed3", "3200 rpm"}, {"LdCurrent", "1.23 A"}, {"tecCurrent", "0.56 A"},
        {"LdTemp", "-1.5 ℃"}, {"LdTemp_2", "25.3 ℃"}, {"lineEdit_MaxDacShow", "3900"},
        {"mcuTemperature", "41.2 ℃"}, {"envTemperature", "23.7 ℃"}, {"devLdType", "Ld-50W"}};
    for (const auto &f : expected)
        QCOMPARE(lineText(w, f.first), f.second);
    QCOMPARE(lamp(w, "label_LdOnOffStat"), Lamp::Green);
    QCOMPARE(lamp(w, "labelFanAlarm_1"), Lamp::Red);
    QCOMPARE(lamp(w, "labelFanAlarm_3"), Lamp::Red);
    QCOMPARE(lamp(w, "labelFanAlarm_2"), Lamp::Green);
    QCOMPARE(lamp(w, "labelTempAlarm"), Lamp::Green);
    QCOMPARE(lamp(w, "CommStat"), Lamp::Green);

    // Polls keep coming, each the same request; read results are not logged.
    QTRY_VERIFY_WITH_TIMEOUT(laser->framesWithWord(0x00C1).size() >= 3, 5000);
    for (const QByteArray &f : laser->framesWithWord(0x00C1))
        QCOMPARE(f.toHex(), QByteArray("0100c1019188"));
    QCOMPARE(logText(w), pty->slavePath() + "打开成功\n");

    // A changed device state shows at the next poll.
    laser->setStatusReply(StatusBytes::sample().u8(2, 0).u8(3, 0x01).u16(4, 999).frame());
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "PowerPercentShow"), QString("999"), 5000);
    QTRY_COMPARE(lamp(w, "label_LdOnOffStat"), Lamp::Red);
    QCOMPARE(lamp(w, "labelTempAlarm"), Lamp::Red);
    QCOMPARE(lamp(w, "labelFanAlarm_1"), Lamp::Green);
}

void TestAdminWd::controlsSendTheirFrames_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("fieldText");
    QTest::newRow("laser on") << "btnTurnOnLd" << hex("01001101cc48") << "开启光源成功" << "" << "";
    QTest::newRow("laser off") << "btnTurnOffLd" << frame(0x0011, hex("00")) << "关闭光源成功" << "" << "";
    QTest::newRow("restart") << "btnSoftReset" << frame(0x0001, hex("5AA5")) << "软件重启成功" << "" << "";
    QTest::newRow("clear counters") << "btnZeroFrameNum" << frame(0x0014, QByteArray(8, 0)) << "设置收发帧数成功"
                                    << "DevRxFrame" << "0";
    QTest::newRow("threshold 37.5") << "btnLdTempThSet" << frame(0x0013, hex("0177")) << "设置温度保护阈值成功"
                                    << "TempThreshold" << "37.5℃";
    QTest::newRow("save max dac") << "btnSetMaxDac" << frame(0x00A1, hex("0C80")) << "设置最大DAC并保存成功"
                                  << "lineEdit_MaxDacShow" << "3200";
    QTest::newRow("compensation 70000") << "btn_SaveAutoCompensation" << frame(0x00A3, hex("00001170"))
                                        << "设置自动补偿时长成功" << "StatAutoCompensation" << "4464H";
    QTest::newRow("laser type") << "btnSaveLdType" << frame(0x00A8, hex("02")) << "保存激光类型命令成功" << "" << "";
}

void TestAdminWd::controlsSendTheirFrames()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, sent);
    QFETCH(QString, logLine);
    QFETCH(QString, field);
    QFETCH(QString, fieldText);
    // The laser answers writes only, so the poll leaves the display alone.
    openWithLaser();
    w->findChild<QDoubleSpinBox *>("doubleSpinBoxLdTempThValue")->setValue(37.5);
    spin("spinBoxMaxDac")->setValue(3200);
    spin("spinBoxAutoCompensation")->setValue(70000);
    w->findChild<QComboBox *>("comboBoxLdType")->setCurrentIndex(2);
    const quint16 word = quint16((quint8(sent[1]) << 8) | quint8(sent[2]));
    laser->clearFrames();
    click(w, button.toLatin1().constData());
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, logLine), 1, 5000);
    QCOMPARE(laser->framesWithWord(word).size(), 1);
    QCOMPARE(laser->framesWithWord(word).first().toHex(), sent.toHex());
    if (!field.isEmpty())
        QCOMPARE(lineText(w, field), fieldText);
}

void TestAdminWd::catalogueWriteWithoutSignalOfItsOwn()
{
    // A control of a command that has no signal of its own sends its word
    // and values; the log and the display follow from the catalogue.
    openWithLaser();
    laser->clearFrames();
    emit w->writeCommandSignal(0x0012, {500});
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "设置激光功率成功"), 1, 5000);
    QCOMPARE(laser->framesWithWord(0x0012).size(), 1);
    QCOMPARE(laser->framesWithWord(0x0012).first().toHex(), frame(0x0012, hex("01F4")).toHex());
    QCOMPARE(lineText(w, "PowerPercentShow"), QString("500"));
}

void TestAdminWd::maxDacSteps()
{
    openWithLaser();
    QSpinBox *dac = spin("spinBoxMaxDac");
    dac->setValue(4095);
    click(w, "btnSetMaxDacPlus");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "仅设置最大DAC（不保存)成功"), 1, 5000);
    QCOMPARE(dac->value(), 4095);
    QCOMPARE(laser->framesWithWord(0x00A2).last().toHex(), frame(0x00A2, hex("0FFF")).toHex());

    dac->setValue(400);
    click(w, "btnSetMaxDacPlus_2");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "仅设置最大DAC（不保存)成功"), 2, 5000);
    QCOMPARE(laser->framesWithWord(0x00A2).last().toHex(), frame(0x00A2, hex("018F")).toHex());
    QCOMPARE(dac->value(), 400);
    QCOMPARE(lineText(w, "lineEdit_MaxDacShow"), QString("399"));

    dac->setValue(1000);
    click(w, "btnSetMaxDacPlus");
    QCOMPARE(dac->value(), 1001);
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "lineEdit_MaxDacShow"), QString("1001"), 5000);
}

void TestAdminWd::powerSliderAndSpinBox()
{
    openWithLaser();
    auto *slider = w->findChild<QSlider *>("horizontalSlider_PowerSet");
    QSpinBox *value = spin("spinBox_PowerVal");

    // Typing and Enter: the slider follows and the value goes out once.
    value->setFocus();
    value->selectAll();
    QTest::keyClicks(value, "750");
    QCOMPARE(slider->value(), 0);
    QTest::keyClick(value, Qt::Key_Enter);
    QCOMPARE(slider->value(), 750);
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "设置激光功率成功"), 1, 5000);
    QTest::qWait(600);
    QCOMPARE(laser->framesWithWord(0x0012).size(), 1);
    QCOMPARE(laser->framesWithWord(0x0012).first().toHex(), frame(0x0012, hex("02EE")).toHex());
    QCOMPARE(lineText(w, "PowerPercentShow"), QString("750"));

    // Moving the slider by keys copies the value and sends it, as a release does.
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_PageUp);
    QVERIFY(slider->value() != 750);
    QCOMPARE(value->value(), slider->value());
    QTRY_COMPARE_WITH_TIMEOUT(laser->framesWithWord(0x0012).size(), 2, 5000);
    QCOMPARE(laser->framesWithWord(0x0012).last().toHex(),
             frame(0x0012, hex(QByteArray::number(slider->value(), 16).rightJustified(4, '0').constData())).toHex());

    // Releasing the dragged handle sends the slider's value.
    slider->setSliderDown(true);
    slider->setValue(300);
    slider->setSliderDown(false);
    QCOMPARE(value->value(), 300);
    QTRY_COMPARE_WITH_TIMEOUT(laser->framesWithWord(0x0012).size(), 3, 5000);
    QCOMPARE(laser->framesWithWord(0x0012).last().toHex(), frame(0x0012, hex("012C")).toHex());
}

void TestAdminWd::serialNumberFlow()
{
    openWithLaser();
    laser->clearFrames();
    click(w, "btn_devSerialNumValue");
    QCOMPARE(logCount(w, "设备序列号为空，设置失败"), 1);

    click(w, "btnShowSerialDialog");
    auto *composer = w->findChild<serialNumInput *>();
    QVERIFY(composer->isVisible());
    QTest::keyClicks(composer->findChild<QLineEdit *>("laserType"), "1234567");
    QTest::keyClicks(composer->findChild<QLineEdit *>("laserDayNum"), "12");
    composer->findChild<QDateEdit *>("dateEdit")->setDate(QDate(2024, 3, 5));
    QTest::mouseClick(composer->findChild<QPushButton *>("btnOk"), Qt::LeftButton);
    QVERIFY(!composer->isVisible());
    QCOMPARE(lineText(w, "devSerialNumValue"), QString("1234567-202403050012"));
    QTest::qWait(300);
    QVERIFY(laser->framesWithWord(0x0015).isEmpty()); // nothing sent before "保存"

    click(w, "btn_devSerialNumValue");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "设置序列号成功"), 1, 5000);
    QCOMPARE(laser->framesWithWord(0x0015).first().toHex(), frame(0x0015, hex("12D687180305000C")).toHex());
    QCOMPARE(lineText(w, "devSerialNum"), QString("1234567-202403050012"));
    // The record can be written again.
    click(w, "btn_devSerialNumValue");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "设置序列号成功"), 2, 5000);
}

void TestAdminWd::refusedWrite()
{
    openWithLaser();
    laser->setMode(FakeLaser::Mode::Refuse);
    spin("spinBoxAutoCompensation")->setValue(5);
    click(w, "btn_SaveAutoCompensation");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "设置自动补偿时长失败，设备处理命令返回错误"), 1, 5000);
    // A failed write leaves the display alone.
    QCOMPARE(lineText(w, "StatAutoCompensation"), QString());
    QCOMPARE(lamp(w, "CommStat"), Lamp::Green);
}

void TestAdminWd::writeWithPortClosed()
{
    click(w, "btnTurnOnLd");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "开启光源失败，串口未打开"), 1, 5000);
    click(w, "btnZeroFrameNum");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "设置收发帧数失败，串口未打开"), 1, 5000);
    QCOMPARE(lineText(w, "DevRxFrame"), QString());
    QVERIFY(laser->frames().isEmpty());
}

void TestAdminWd::lostReplies()
{
    openWithLaser();
    laser->setMode(FakeLaser::Mode::Silent);
    click(w, "btnSoftReset");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "软件重启失败，总线数据丢失"), 1, 5000);
    QCOMPARE(laser->framesWithWord(0x0001).size(), 1);
}

void TestAdminWd::linkLampFollowsErrorCount()
{
    auto count = [this](quint32 n) {
        QVERIFY(QMetaObject::invokeMethod(w, "updateCommStat", Qt::DirectConnection, Q_ARG(quint32, n)));
    };
    openWithLaser(); // without an open port the lamp is red whatever the count
    count(10);
    QCOMPARE(lamp(w, "CommStat"), Lamp::Green);
    count(11);
    QCOMPARE(lamp(w, "CommStat"), Lamp::Red);
    count(0xFFFFFFFFu);
    QCOMPARE(lamp(w, "CommStat"), Lamp::Red);
    count(0);
    QCOMPARE(lamp(w, "CommStat"), Lamp::Green);
}

void TestAdminWd::linkLampAfterElevenSilentPolls()
{
    laser->setMode(FakeLaser::Mode::Silent);
    openWithLaser();
    QTRY_VERIFY_WITH_TIMEOUT(laser->framesWithWord(0x00C1).size() >= 10, 15000);
    QCOMPARE(lamp(w, "CommStat"), Lamp::Green);
    QTRY_COMPARE_WITH_TIMEOUT(lamp(w, "CommStat"), Lamp::Red, 10000);
    QVERIFY(laser->framesWithWord(0x00C1).size() >= 11);
    // The device answers again: green at the first good reply.
    laser->setStatusReply(StatusBytes::sample().frame());
    laser->setMode(FakeLaser::Mode::Answer);
    QTRY_COMPARE_WITH_TIMEOUT(lamp(w, "CommStat"), Lamp::Green, 5000);
    QTRY_COMPARE(lineText(w, "SoftVersion"), QString("V1.5"));
}

void TestAdminWd::shortAndFailedRepliesLeaveDisplay()
{
    laser->setStatusReply(StatusBytes::sample().frame());
    openWithLaser();
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "SoftVersion"), QString("V1.5"), 5000);

    // A well-formed but truncated status reply passes the link's check and is
    // then ignored: the display keeps the values of the last whole reply.
    laser->setStatusReply(frame(0x00C1, StatusBytes::sample().u8(0, 9).data().left(40)));
    const int before = laser->framesWithWord(0x00C1).size();
    QTRY_VERIFY_WITH_TIMEOUT(laser->framesWithWord(0x00C1).size() >= before + 3, 5000);
    QCOMPARE(lineText(w, "SoftVersion"), QString("V1.5"));
    QCOMPARE(lineText(w, "envTemperature"), QString("23.7 ℃"));
    QCOMPARE(lamp(w, "CommStat"), Lamp::Green);

    // A failed read and an unknown word change no text.
    const QByteArray other = StatusBytes().u8(0, 7).frame();
    QVERIFY(QMetaObject::invokeMethod(w, "updateGeneralReadSlots", Qt::DirectConnection,
                                      Q_ARG(quint8, 255), Q_ARG(QByteArray, other)));
    QVERIFY(QMetaObject::invokeMethod(w, "updateGeneralReadSlots", Qt::DirectConnection, Q_ARG(quint8, 0),
                                      Q_ARG(QByteArray, frame(0x0077, QByteArray(60, 1)))));
    QCOMPARE(lineText(w, "SoftVersion"), QString("V1.5"));
    QCOMPARE(lineText(w, "PowerPercentShow"), QString("640"));
}

void TestAdminWd::writeBeforeFirstStatusShowsOnlyItsField()
{
    // The device answers writes but no status query yet.
    openWithLaser();
    spin("spinBox_PowerVal")->setValue(750);
    QTest::keyClick(spin("spinBox_PowerVal"), Qt::Key_Enter);
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "设置激光功率成功"), 1, 5000);
    click(w, "btnTurnOnLd");
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "开启光源成功"), 1, 5000);
    // The value the device accepted shows; every other field stays as empty
    // as at start instead of showing the cache's zeros ("V0.0", "Ld-25W" ...).
    QCOMPARE(lineText(w, "PowerPercentShow"), QString("750"));
    for (const auto &field : StatusFormat::fieldTexts(DevStatusCache())) {
        if (field.first != QLatin1String("PowerPercentShow"))
            QVERIFY2(lineText(w, field.first).isEmpty(), qPrintable(field.first + ": " + lineText(w, field.first)));
    }

    // The first status reply fills them all.
    laser->setStatusReply(StatusBytes::sample().frame());
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "SoftVersion"), QString("V1.5"), 5000);
    QCOMPARE(lineText(w, "PowerPercentShow"), QString("640"));
    QCOMPARE(lineText(w, "devLdType"), QString("Ld-50W"));
}

void TestAdminWd::unchangedFieldKeepsItsSelection()
{
    laser->setStatusReply(StatusBytes::sample().frame());
    openWithLaser();
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "devSerialNum"), QString("66051-202407090042"), 5000);

    // The operator selects the serial number to copy it while polls go on
    // and another value changes.
    auto *serial = w->centralWidget()->findChild<QLineEdit *>("devSerialNum");
    serial->setFocus();
    serial->setSelection(0, 5);
    QCOMPARE(serial->selectedText(), QString("66051"));
    int rewrites = 0;
    connect(serial, &QLineEdit::selectionChanged, this, [&] { ++rewrites; });
    laser->setStatusReply(StatusBytes::sample().u16(4, 321).frame());
    const int polls = laser->framesWithWord(0x00C1).size();
    QTRY_VERIFY_WITH_TIMEOUT(laser->framesWithWord(0x00C1).size() >= polls + 3, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "PowerPercentShow"), QString("321"), 5000);
    QCOMPARE(serial->selectedText(), QString("66051"));
    QCOMPARE(rewrites, 0);
}

void TestAdminWd::pidReplyIsRelayed()
{
    QSignalSpy spy(w, SIGNAL(updatePidWd(QVector<quint32>)));
    const QByteArray reply = frame(0xA111, hex("0000012C000003E800002710000000640000000A"));
    QVERIFY(QMetaObject::invokeMethod(w, "updateGeneralReadSlots", Qt::DirectConnection, Q_ARG(quint8, 0),
                                      Q_ARG(QByteArray, reply)));
    QCOMPARE(spy.count(), 1);
    const auto values = spy.at(0).at(0).value<QVector<quint32>>();
    QCOMPARE(values.size(), 16);
    QCOMPARE(values.mid(0, 5), (QVector<quint32>{300, 1000, 10000, 100, 10}));
    // Redrawn from the untouched cache, where the device has reported nothing.
    QCOMPARE(lineText(w, "SoftVersion"), QString());
}

void TestAdminWd::disconnectQuestionNo()
{
    openWithLaser();
    BoxAnswer box;
    answerNextBox(&box, QMessageBox::No);
    w->findChild<QAction *>("actionSerialSet")->trigger();
    QVERIFY(box.seen);
    QCOMPARE(box.title, QString("通知"));
    QCOMPARE(box.text, QString("继续操作会断开当前连接，确定？"));
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.defaultButton, QMessageBox::Yes);
    QVERIFY(!w->findChild<CommSet *>()->isVisible());
    const int polls = laser->framesWithWord(0x00C1).size();
    QTRY_VERIFY_WITH_TIMEOUT(laser->framesWithWord(0x00C1).size() > polls, 5000);
    QCOMPARE(lineText(w, "ComNameShow"), pty->slavePath());
    QCOMPARE(logCount(w, "关闭成功"), 0);
}

void TestAdminWd::disconnectQuestionYesStopsPollKeepsValues()
{
    laser->setStatusReply(StatusBytes::sample().frame());
    openWithLaser();
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "SoftVersion"), QString("V1.5"), 5000);
    BoxAnswer box;
    answerNextBox(&box, QMessageBox::Yes);
    w->findChild<QAction *>("actionSerialSet")->trigger();
    QVERIFY(box.seen);
    QVERIFY(w->findChild<CommSet *>()->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, pty->slavePath() + "关闭成功"), 1, 5000);
    QCOMPARE(lineText(w, "ComNameShow"), QString("连接断开"));

    QTest::qWait(200); // a request written just before the close may still be in the line
    const int polls = laser->framesWithWord(0x00C1).size();
    QTest::qWait(1300);
    QCOMPARE(laser->framesWithWord(0x00C1).size(), polls);
    QCOMPARE(lineText(w, "SoftVersion"), QString("V1.5"));
    QCOMPARE(lineText(w, "devSerialNum"), QString("66051-202407090042"));
    // Kept, but faded: they are no longer live.
    QCOMPARE(lamp(w, "label_LdOnOffStat"), Lamp::FadedGreen);
    QCOMPARE(lamp(w, "labelFanAlarm_1"), Lamp::FadedRed);
    QCOMPARE(lamp(w, "CommStat"), Lamp::Red);

    // Opening again resumes the poll.
    openWithLaser();
    QCOMPARE(logCount(w, pty->slavePath() + "打开成功"), 2);
    QTRY_VERIFY_WITH_TIMEOUT(laser->framesWithWord(0x00C1).size() > polls, 5000);
}

void TestAdminWd::repeatedConstruction()
{
    for (int round = 0; round < 3; ++round) {
        destroyWindow(w);
        w = new AdminWd;
        w->show();
        laser->setStatusReply(StatusBytes::sample().frame());
        openWithLaser();
        QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "SoftVersion"), QString("V1.5"), 5000);
    }
}

void TestAdminWd::redrawTime()
{
    // Time from a status reply reaching the window to the redrawn display.
    const QByteArray reply = StatusBytes::sample().frame();
    QElapsedTimer t;
    t.start();
    const int rounds = 200;
    for (int i = 0; i < rounds; ++i)
        QMetaObject::invokeMethod(w, "updateGeneralReadSlots", Qt::DirectConnection, Q_ARG(quint8, 0),
                                  Q_ARG(QByteArray, reply));
    const double perReply = double(t.nsecsElapsed()) / rounds / 1000.0;
    qInfo("decode and redraw of one status reply: %.1f us", perReply);
    QCOMPARE(lineText(w, "SoftVersion"), QString("V1.5"));

    // And over the line: from the laser writing the reply to the new text.
    openWithLaser();
    qint64 wroteAt = 0;
    QElapsedTimer clock;
    clock.start();
    QList<double> delays;
    connect(laser, &FakeLaser::frameReceived, this, [&] { wroteAt = clock.nsecsElapsed(); });
    auto *field = w->findChild<QLineEdit *>("PowerPercentShow");
    connect(field, &QLineEdit::textChanged, this, [&] { delays << (clock.nsecsElapsed() - wroteAt) / 1e6; });
    for (int i = 1; i <= 5; ++i) {
        laser->setStatusReply(StatusBytes::sample().u16(4, quint16(i)).frame());
        QTRY_COMPARE_WITH_TIMEOUT(field->text(), QString::number(i), 5000);
    }
    QStringList shown;
    for (double d : delays)
        shown << QString::number(d, 'f', 1);
    qInfo("reply written -> display redrawn (ms): %s", qPrintable(shown.join(' ')));
}

QTEST_MAIN(TestAdminWd)
#include "tst_adminwd.moc"
