#include "DialogPasswordWd.h"
#include "PidAdjust.h"
#include "TecDebug.h"
#include "fan_debug.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTextEdit>
#include <QtTest>

Q_DECLARE_METATYPE(QVector<quint32>)

namespace {

template <typename T>
T *child(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QLatin1String(name));
    if (!c)
        qWarning("no child %s", name);
    return c;
}

// Row, column, row span and column span of a widget in a named grid.
QList<int> cellOf(QWidget &w, const char *grid, const char *name)
{
    auto *g = w.findChild<QGridLayout *>(QLatin1String(grid));
    QWidget *c = w.findChild<QWidget *>(QLatin1String(name));
    if (!g || !c)
        return {};
    const int i = g->indexOf(c);
    if (i < 0)
        return {};
    int r, col, rs, cs;
    g->getItemPosition(i, &r, &col, &rs, &cs);
    return {r, col, rs, cs};
}

QPoint handleCentre(QSlider *s)
{
    QStyleOptionSlider opt;
    opt.initFrom(s);
    opt.subControls = QStyle::SC_None;
    opt.activeSubControls = QStyle::SC_None;
    opt.orientation = s->orientation();
    opt.maximum = s->maximum();
    opt.minimum = s->minimum();
    opt.tickPosition = s->tickPosition();
    opt.tickInterval = s->tickInterval();
    opt.upsideDown = s->invertedAppearance();
    opt.direction = s->layoutDirection();
    opt.sliderPosition = s->sliderPosition();
    opt.sliderValue = s->value();
    opt.singleStep = s->singleStep();
    opt.pageStep = s->pageStep();
    return s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s).center();
}

void sendMouse(QSlider *s, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, pos, s->mapToGlobal(pos), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(s, &e);
}

// Grabs the handle and drags it rightwards pixel by pixel, holding the button.
void dragRight(QSlider *s, int pixels)
{
    QPoint p = handleCentre(s);
    sendMouse(s, QEvent::MouseButtonPress, p, Qt::LeftButton);
    for (int i = 0; i < pixels; ++i) {
        p.rx() += 1;
        sendMouse(s, QEvent::MouseMove, p, Qt::LeftButton);
    }
    sendMouse(s, QEvent::MouseButtonRelease, p, Qt::NoButton);
}

} // namespace

class TestFactoryWindows : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void pidFormLayout();
    void pidSendsTypedCoefficients();
    void pidRefusesEmptyField_data();
    void pidRefusesEmptyField();
    void pidFillsEmptyFieldsFromTheDevice();
    void pidShowsSamplesAndSpreads();
    void pidResetKeepsShownSpreadUntilNextSample();
    void pidIgnoresShortSample();

    void tecForm();
    void tecButtons();
    void tecOffResetsDac();
    void tecDragSendsEveryValue();
    void tecKeysAndRange();

    void fanForm();
    void fanButtonsIgnoreSlider();
    void fanSliderCommands();
    void fanDragSendsEveryValue();

    void passwordForm();
    void passwordConfirmEmitsAsTyped();
    void passwordEmptyConfirmEmitsNothing();
    void passwordCancelClears();
    void passwordCloseKeepsText();
    void passwordLengthLimit();
};

void TestFactoryWindows::initTestCase()
{
    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");
}

void TestFactoryWindows::pidFormLayout()
{
    PidAdjust w;
    QCOMPARE(w.objectName(), QString("PidAdjust"));
    QCOMPARE(w.windowTitle(), QString("PID调节"));
    QCOMPARE(w.size(), QSize(234, 356));
    QVERIFY(w.findChild<QMenuBar *>("menubar"));
    QVERIFY(w.findChild<QStatusBar *>("statusbar"));
    QCOMPARE(child<QPushButton>(w, "btnSetPid")->text(), QString("  设置PID"));
    QCOMPARE(child<QPushButton>(w, "btnReset")->text(), QString(" 重置最大温差"));
    QCOMPARE(child<QLabel>(w, "label_9")->text(), QString("最大温差"));
    QCOMPARE(child<QLabel>(w, "label_10")->text(), QString("PWM 最大差值"));
    QCOMPARE(cellOf(w, "gridLayout", "lineEditTempMinus"), (QList<int>{0, 4, 1, 1}));
    QCOMPARE(cellOf(w, "gridLayout", "label_10"), (QList<int>{1, 2, 1, 2}));
    QCOMPARE(cellOf(w, "gridLayout", "lineEditKD"), (QList<int>{2, 1, 1, 1}));
    QCOMPARE(cellOf(w, "gridLayout", "btnReset"), (QList<int>{3, 2, 1, 2}));
    QCOMPARE(cellOf(w, "gridLayout", "textEditShowTemp"), (QList<int>{4, 0, 1, 5}));
    QVERIFY(!child<QLineEdit>(w, "lineEditTempMinus")->isReadOnly());
}

void TestFactoryWindows::pidSendsTypedCoefficients()
{
    PidAdjust w;
    w.show();
    QSignalSpy spy(&w, &PidAdjust::setPidSignal);
    QTest::keyClicks(child<QLineEdit>(w, "lineEditKP"), "1.5");
    QTest::keyClicks(child<QLineEdit>(w, "lineEditKI"), "0.1");
    QTest::keyClicks(child<QLineEdit>(w, "lineEditKD"), "0");
    QTest::mouseClick(child<QPushButton>(w, "btnSetPid"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QVector<quint32>>(), (QVector<quint32>{15000, 1000, 0}));
    QCOMPARE(child<QLineEdit>(w, "lineEditKP")->text(), QString("1.5")); // left as typed

    child<QLineEdit>(w, "lineEditKP")->setText("3.1416");
    child<QLineEdit>(w, "lineEditKI")->setText("0.0007");
    child<QLineEdit>(w, "lineEditKD")->setText("-1.5");
    QTest::mouseClick(child<QPushButton>(w, "btnSetPid"), Qt::LeftButton);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).value<QVector<quint32>>(),
             (QVector<quint32>{31416, 7, 4294952296u})); // exact: the same words as korvexctl and profiles
}

void TestFactoryWindows::pidRefusesEmptyField_data()
{
    QTest::addColumn<QString>("kp");
    QTest::addColumn<QString>("ki");
    QTest::addColumn<QString>("kd");
    QTest::addColumn<QString>("named");
    QTest::newRow("all empty") << "" << "" << "" << "KP、KI、KD 为空";
    QTest::newRow("KD empty") << "1.5" << "0.1" << "" << "KD 为空";
    QTest::newRow("KP blank") << "  " << "0.1" << "0" << "KP 为空";
    QTest::newRow("KI empty, KP no number") << "1,5" << "" << "0" << "KI 为空，KP 不是数字";
}

void TestFactoryWindows::pidRefusesEmptyField()
{
    // An empty field would go out as 0 and switch the temperature loop off.
    QFETCH(QString, kp);
    QFETCH(QString, ki);
    QFETCH(QString, kd);
    QFETCH(QString, named);
    PidAdjust w;
    w.show();
    QSignalSpy spy(&w, &PidAdjust::setPidSignal);
    child<QLineEdit>(w, "lineEditKP")->setText(kp);
    child<QLineEdit>(w, "lineEditKI")->setText(ki);
    child<QLineEdit>(w, "lineEditKD")->setText(kd);
    QTest::mouseClick(child<QPushButton>(w, "btnSetPid"), Qt::LeftButton);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(w.statusBar()->currentMessage(), named + "，未发送");
    for (const char *name : {"lineEditKP", "lineEditKI", "lineEditKD"}) {
        QLineEdit *field = child<QLineEdit>(w, name);
        QCOMPARE(field->property("refused").toBool(), field->text().trimmed().isEmpty() || field->text() == "1,5");
    }
}

void TestFactoryWindows::pidFillsEmptyFieldsFromTheDevice()
{
    PidAdjust w;
    w.show();
    QSignalSpy spy(&w, &PidAdjust::setPidSignal);
    auto *kp = child<QLineEdit>(w, "lineEditKP");
    auto *ki = child<QLineEdit>(w, "lineEditKI");
    auto *kd = child<QLineEdit>(w, "lineEditKD");
    w.updateShowText({250, 600, 15000, 1000, 7});
    QCOMPARE(QStringList({kp->text(), ki->text(), kd->text()}), QStringList({"1.5000", "0.1000", "0.0007"}));
    // Sending unchanged gives the device its own coefficients back.
    QTest::mouseClick(child<QPushButton>(w, "btnSetPid"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QVector<quint32>>(), (QVector<quint32>{15000, 1000, 7}));

    // What the operator typed stays, also an emptied field (which is then
    // refused rather than sent as 0); untouched fields keep their first value.
    kp->selectAll();
    QTest::keyClicks(kp, "2.5");
    ki->selectAll();
    QTest::keyClick(ki, Qt::Key_Backspace);
    w.updateShowText({251, 610, 20000, 3000, 0});
    QCOMPARE(QStringList({kp->text(), ki->text(), kd->text()}), QStringList({"2.5", "", "0.0007"}));
    QTest::mouseClick(child<QPushButton>(w, "btnSetPid"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
}

void TestFactoryWindows::pidShowsSamplesAndSpreads()
{
    PidAdjust w;
    auto *text = child<QTextEdit>(w, "textEditShowTemp");
    w.updateShowText({25, 600, 15000, 1000, 0});
    QCOMPARE(text->toPlainText(), QString("25,600,   1.5000,0.1000,0.0000,\n"));
    QCOMPARE(child<QLineEdit>(w, "lineEditTempMinus")->text(), QString("0"));
    QCOMPARE(child<QLineEdit>(w, "lineEditPwmMinus")->text(), QString("0"));

    w.updateShowText({30, 650, 0, 0, 0});
    w.updateShowText({20, 640, 0, 0, 0});
    QCOMPARE(child<QLineEdit>(w, "lineEditTempMinus")->text(), QString("10"));
    QCOMPARE(child<QLineEdit>(w, "lineEditPwmMinus")->text(), QString("50"));
    // One paragraph per sample, each ending in its own line feed.
    QCOMPARE(text->document()->blockCount(), 6);
    QVERIFY(text->toPlainText().startsWith("25,600,"));
    QVERIFY(text->toPlainText().contains("\n30,650,   0.0000,0.0000,0.0000,\n"));
}

void TestFactoryWindows::pidResetKeepsShownSpreadUntilNextSample()
{
    PidAdjust w;
    w.updateShowText({25, 100, 0, 0, 0});
    w.updateShowText({35, 300, 0, 0, 0});
    QCOMPARE(child<QLineEdit>(w, "lineEditTempMinus")->text(), QString("10"));
    QTest::mouseClick(child<QPushButton>(w, "btnReset"), Qt::LeftButton);
    QCOMPARE(child<QLineEdit>(w, "lineEditTempMinus")->text(), QString("10"));
    QCOMPARE(child<QLineEdit>(w, "lineEditPwmMinus")->text(), QString("200"));
    const QString before = child<QTextEdit>(w, "textEditShowTemp")->toPlainText();
    w.updateShowText({quint32(-5), 7, 0, 0, 0});
    QCOMPARE(child<QLineEdit>(w, "lineEditTempMinus")->text(), QString("0"));
    QCOMPARE(child<QLineEdit>(w, "lineEditPwmMinus")->text(), QString("0"));
    QVERIFY(child<QTextEdit>(w, "textEditShowTemp")->toPlainText().startsWith(before));
    w.updateShowText({quint32(-8), 9, 0, 0, 0});
    QCOMPARE(child<QLineEdit>(w, "lineEditTempMinus")->text(), QString("3"));
    QCOMPARE(child<QLineEdit>(w, "lineEditPwmMinus")->text(), QString("2"));
}

void TestFactoryWindows::pidIgnoresShortSample()
{
    PidAdjust w;
    w.updateShowText({25, 600, 1});
    QVERIFY(child<QTextEdit>(w, "textEditShowTemp")->toPlainText().isEmpty());
    QVERIFY(child<QLineEdit>(w, "lineEditTempMinus")->text().isEmpty());
    w.updateShowText({25, 600, 0, 0, 0});
    w.updateShowText({});
    w.updateShowText({40, 600, 0, 0, 0});
    QCOMPARE(child<QLineEdit>(w, "lineEditTempMinus")->text(), QString("15"));
}

void TestFactoryWindows::tecForm()
{
    TecDebug w;
    QCOMPARE(w.windowTitle(), QString("TEC 调试"));
    QCOMPARE(w.size(), QSize(261, 175));
    QCOMPARE(child<QPushButton>(w, "btnTurnOnTec")->text(), QString("打开TEC"));
    QCOMPARE(child<QPushButton>(w, "btnAtutoTecOff")->text(), QString("关闭TEC自控"));
    QCOMPARE(child<QLabel>(w, "label_11")->text(), QString("TEC功率"));
    auto *s = child<QSlider>(w, "tecPowerSet");
    QCOMPARE(s->minimum(), 0);
    QCOMPARE(s->maximum(), 3800);
    QCOMPARE(s->value(), 0);
    QCOMPARE(s->orientation(), Qt::Horizontal);
    QVERIFY(s->hasTracking());
    auto *val = child<QLineEdit>(w, "tecPowerVal");
    QCOMPARE(val->text(), QString("0"));
    QVERIFY(val->isReadOnly());
    QCOMPARE(val->maxLength(), 4);
    QCOMPARE(val->maximumSize(), QSize(75, 20));
    QCOMPARE(val->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(cellOf(w, "gridLayout", "btnTurnOffTec"), (QList<int>{0, 2, 1, 1}));
    QCOMPARE(cellOf(w, "gridLayout", "tecPowerSet"), (QList<int>{2, 1, 1, 1}));
}

void TestFactoryWindows::tecButtons()
{
    TecDebug w;
    w.show();
    QSignalSpy onOff(&w, &TecDebug::turnOnOff);
    QSignalSpy dac(&w, &TecDebug::setTecPowerDac);
    QSignalSpy autoTec(&w, &TecDebug::switchAutoTec);
    QTest::mouseClick(child<QPushButton>(w, "btnTurnOnTec"), Qt::LeftButton);
    QCOMPARE(onOff.count(), 1);
    QCOMPARE(onOff.at(0).at(0).value<quint8>(), quint8(1));
    QTest::mouseClick(child<QPushButton>(w, "btnAutoTecOn"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(w, "btnAtutoTecOff"), Qt::LeftButton);
    QCOMPARE(autoTec.count(), 2);
    QCOMPARE(autoTec.at(0).at(0).value<quint8>(), quint8(1));
    QCOMPARE(autoTec.at(1).at(0).value<quint8>(), quint8(0));
    // Off with the slider already at 0 sends no DAC value.
    QTest::mouseClick(child<QPushButton>(w, "btnTurnOffTec"), Qt::LeftButton);
    QCOMPARE(onOff.count(), 2);
    QCOMPARE(onOff.at(1).at(0).value<quint8>(), quint8(0));
    QCOMPARE(dac.count(), 0);
}

void TestFactoryWindows::tecOffResetsDac()
{
    TecDebug w;
    w.show();
    auto *s = child<QSlider>(w, "tecPowerSet");
    s->setValue(1200);
    QCOMPARE(child<QLineEdit>(w, "tecPowerVal")->text(), QString("1200"));

    // Record the order of both signals together.
    QStringList order;
    connect(&w, &TecDebug::turnOnOff, [&](quint8 v) { order << QString("onOff %1").arg(v); });
    connect(&w, &TecDebug::setTecPowerDac, [&](quint16 v) { order << QString("dac %1").arg(v); });
    QTest::mouseClick(child<QPushButton>(w, "btnTurnOffTec"), Qt::LeftButton);
    QCOMPARE(order, (QStringList{"onOff 0", "dac 0"}));
    QCOMPARE(s->value(), 0);
    QCOMPARE(child<QLineEdit>(w, "tecPowerVal")->text(), QString("0"));
}

void TestFactoryWindows::tecDragSendsEveryValue()
{
    TecDebug w;
    w.resize(900, 175);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *s = child<QSlider>(w, "tecPowerSet");
    auto *val = child<QLineEdit>(w, "tecPowerVal");
    QList<int> reported;
    QList<quint16> sent;
    QStringList shown;
    connect(s, &QSlider::valueChanged, [&](int v) { reported << v; });
    connect(&w, &TecDebug::setTecPowerDac, [&](quint16 v) {
        sent << v;
        shown << val->text(); // text is set before the emission
    });
    dragRight(s, 40);
    QVERIFY2(reported.size() > 5, qPrintable(QString::number(reported.size())));
    QCOMPARE(sent.size(), reported.size());
    for (int i = 0; i < sent.size(); ++i) {
        QCOMPARE(int(sent.at(i)), reported.at(i));
        QCOMPARE(shown.at(i), QString::number(reported.at(i)));
        if (i > 0)
            QVERIFY(sent.at(i) > sent.at(i - 1));
    }
    QCOMPARE(int(sent.last()), s->value());
    QCOMPARE(val->text(), QString::number(s->value()));
}

void TestFactoryWindows::tecKeysAndRange()
{
    TecDebug w;
    w.show();
    auto *s = child<QSlider>(w, "tecPowerSet");
    QSignalSpy dac(&w, &TecDebug::setTecPowerDac);
    s->setFocus();
    QTest::keyClick(s, Qt::Key_Right);
    QTest::keyClick(s, Qt::Key_PageUp);
    QCOMPARE(dac.count(), 2);
    QCOMPARE(dac.at(0).at(0).value<quint16>(), quint16(1));
    QCOMPARE(dac.at(1).at(0).value<quint16>(), quint16(11));
    QTest::keyClick(s, Qt::Key_End);
    QCOMPARE(dac.last().at(0).value<quint16>(), quint16(3800));
    s->setValue(5000);
    QCOMPARE(s->value(), 3800);
    QCOMPARE(dac.count(), 3); // clamped to the same value: nothing more
    QCOMPARE(child<QLineEdit>(w, "tecPowerVal")->text(), QString("3800"));
}

void TestFactoryWindows::fanForm()
{
    fan_debug w;
    QCOMPARE(w.objectName(), QString("fan_debug"));
    QCOMPARE(w.windowTitle(), QString("风扇调试"));
    QCOMPARE(w.size(), QSize(238, 207));
    QCOMPARE(child<QPushButton>(w, "btnAutoFanOn")->text(), QString("开风扇自控"));
    QCOMPARE(child<QPushButton>(w, "btnAtutoFanOff")->text(), QString("关闭风扇自控"));
    QCOMPARE(child<QLabel>(w, "label_11")->text(), QString("风扇PWM"));
    auto *s = child<QSlider>(w, "fanPwmSetSlider");
    QCOMPARE(s->maximum(), 1000);
    QCOMPARE(s->value(), 0);
    auto *val = child<QLineEdit>(w, "fanPwmVal");
    QVERIFY(val->isReadOnly());
    QCOMPARE(val->maxLength(), 4);
    QCOMPARE(val->text(), QString("0"));
    QCOMPARE(cellOf(w, "gridLayout", "fanPwmVal"), (QList<int>{1, 2, 1, 1}));
}

void TestFactoryWindows::fanButtonsIgnoreSlider()
{
    fan_debug w;
    w.show();
    auto *s = child<QSlider>(w, "fanPwmSetSlider");
    s->setValue(300);
    QSignalSpy spy(&w, &fan_debug::setFanAutoPwm);
    QTest::mouseClick(child<QPushButton>(w, "btnAutoFanOn"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(w, "btnAtutoFanOff"), Qt::LeftButton);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toByteArray().toHex(), QByteArray("01ffff"));
    QCOMPARE(spy.at(1).at(0).toByteArray().toHex(), QByteArray("00ffff"));
    QCOMPARE(s->value(), 300);
}

void TestFactoryWindows::fanSliderCommands()
{
    fan_debug w;
    w.show();
    auto *s = child<QSlider>(w, "fanPwmSetSlider");
    QSignalSpy spy(&w, &fan_debug::setFanAutoPwm);
    s->setValue(1000);
    s->setValue(300);
    s->setValue(0);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(spy.at(0).at(0).toByteArray().toHex(), QByteArray("ff03e8"));
    QCOMPARE(spy.at(1).at(0).toByteArray().toHex(), QByteArray("ff012c"));
    QCOMPARE(spy.at(2).at(0).toByteArray().toHex(), QByteArray("ff0000"));
    QCOMPARE(child<QLineEdit>(w, "fanPwmVal")->text(), QString("0"));
    s->setValue(2000);
    QCOMPARE(spy.last().at(0).toByteArray().toHex(), QByteArray("ff03e8"));
}

void TestFactoryWindows::fanDragSendsEveryValue()
{
    fan_debug w;
    w.resize(900, 207);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *s = child<QSlider>(w, "fanPwmSetSlider");
    auto *val = child<QLineEdit>(w, "fanPwmVal");
    QList<int> reported;
    QList<QByteArray> sent;
    QStringList shown;
    connect(s, &QSlider::valueChanged, [&](int v) { reported << v; });
    connect(&w, &fan_debug::setFanAutoPwm, [&](const QByteArray &a) {
        sent << a;
        shown << val->text();
    });
    dragRight(s, 30);
    QVERIFY(reported.size() > 5);
    QCOMPARE(sent.size(), reported.size());
    for (int i = 0; i < sent.size(); ++i) {
        const int v = reported.at(i);
        QCOMPARE(sent.at(i), QByteArray::fromRawData("\xff", 1) + char(v >> 8) + char(v & 0xff));
        QCOMPARE(shown.at(i), QString::number(v));
    }
}

void TestFactoryWindows::passwordForm()
{
    DialogPasswordWd d;
    QCOMPARE(d.objectName(), QString("DialogPasswordWd"));
    QCOMPARE(d.windowTitle(), QString("输入密码"));
    QCOMPARE(d.size(), QSize(310, 195));
    QVERIFY(!(d.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(!d.isModal());
    QCOMPARE(child<QLabel>(d, "label")->text(), QString("密码"));
    QCOMPARE(child<QPushButton>(d, "btnConfirm")->text(), QString("确认"));
    QCOMPARE(child<QPushButton>(d, "btnCancel")->text(), QString("取消"));
    QCOMPARE(child<QLineEdit>(d, "lineEdit")->echoMode(), QLineEdit::Password);
}

void TestFactoryWindows::passwordConfirmEmitsAsTyped()
{
    DialogPasswordWd d;
    d.show();
    QSignalSpy spy(&d, &DialogPasswordWd::sendPasswordStr);
    auto *edit = child<QLineEdit>(d, "lineEdit");
    QTest::keyClicks(edit, " secret 1 ");
    QTest::mouseClick(child<QPushButton>(d, "btnConfirm"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QString(" secret 1 "));
    QVERIFY(edit->text().isEmpty());
    QVERIFY(!d.isVisible());
    d.show();
    QVERIFY(edit->text().isEmpty());
}

void TestFactoryWindows::passwordEmptyConfirmEmitsNothing()
{
    DialogPasswordWd d;
    d.show();
    QSignalSpy spy(&d, &DialogPasswordWd::sendPasswordStr);
    QTest::mouseClick(child<QPushButton>(d, "btnConfirm"), Qt::LeftButton);
    QCOMPARE(spy.count(), 0);
    QVERIFY(!d.isVisible());
}

void TestFactoryWindows::passwordCancelClears()
{
    DialogPasswordWd d;
    d.show();
    QSignalSpy spy(&d, &DialogPasswordWd::sendPasswordStr);
    QTest::keyClicks(child<QLineEdit>(d, "lineEdit"), "abc");
    QTest::mouseClick(child<QPushButton>(d, "btnCancel"), Qt::LeftButton);
    QCOMPARE(spy.count(), 0);
    QVERIFY(!d.isVisible());
    QVERIFY(child<QLineEdit>(d, "lineEdit")->text().isEmpty());
}

void TestFactoryWindows::passwordCloseKeepsText()
{
    DialogPasswordWd d;
    d.show();
    QSignalSpy spy(&d, &DialogPasswordWd::sendPasswordStr);
    auto *edit = child<QLineEdit>(d, "lineEdit");
    QTest::keyClicks(edit, "half");
    d.close(); // as the title bar's close button does
    QVERIFY(!d.isVisible());
    d.show();
    QCOMPARE(edit->text(), QString("half"));
    QTest::keyClick(edit, Qt::Key_Escape);
    QVERIFY(!d.isVisible());
    QCOMPARE(edit->text(), QString("half"));
    QCOMPARE(spy.count(), 0);
}

void TestFactoryWindows::passwordLengthLimit()
{
    DialogPasswordWd d;
    d.show();
    auto *edit = child<QLineEdit>(d, "lineEdit");
    QTest::keyClicks(edit, QString(40, QChar('x')));
    QCOMPARE(edit->text().size(), 32);
}

QTEST_MAIN(TestFactoryWindows)
#include "tst_factorywindows.moc"
