// The dialogs and tool windows keep what the operator chose: Enter confirms
// instead of re-listing ports or resetting the date, the date shows in full,
// the sliders are long enough to drag, and a coefficient that is no number is
// refused instead of being sent as 0. Every window is opened as a child of a
// real main window, so it carries that window's 12-point style.
//
// With KORVEX_SHOT_DIR set, each window is also saved there as a PNG.

#include "WindowHarness.h"

#include "AdminWd.h"
#include "CommSet.h"
#include "PidAdjust.h"
#include "PidMath.h"
#include "TecDebug.h"
#include "fan_debug.h"
#include "serialNumInput.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QtTest>

Q_DECLARE_METATYPE(QVector<quint32>)

namespace {

void saveShot(QWidget *w, const char *name)
{
    const QByteArray dir = qgetenv("KORVEX_SHOT_DIR");
    if (dir.isEmpty())
        return;
    QCoreApplication::processEvents();
    w->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name) + QLatin1String(".png"));
}

QStyleOptionSlider sliderOption(QSlider *s)
{
    QStyleOptionSlider opt;
    opt.initFrom(s);
    opt.orientation = s->orientation();
    opt.maximum = s->maximum();
    opt.minimum = s->minimum();
    opt.sliderPosition = s->sliderPosition();
    opt.sliderValue = s->value();
    opt.singleStep = s->singleStep();
    opt.pageStep = s->pageStep();
    opt.upsideDown = s->invertedAppearance();
    opt.direction = s->layoutDirection();
    return opt;
}

// Pixels the handle can travel along the groove.
int sliderTravel(QSlider *s)
{
    const QStyleOptionSlider opt = sliderOption(s);
    const QRect groove = s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, s);
    const QRect handle = s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s);
    return groove.width() - handle.width();
}

void sendMouse(QSlider *s, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, pos, s->mapToGlobal(pos), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(s, &e);
}

// Grabs the handle and drags it by the given pixels; returns the value reached.
int dragBy(QSlider *s, int pixels)
{
    const QStyleOptionSlider opt = sliderOption(s);
    QPoint p = s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s).center();
    sendMouse(s, QEvent::MouseButtonPress, p, Qt::LeftButton);
    for (int i = 0; i < pixels; ++i) {
        p.rx() += 1;
        sendMouse(s, QEvent::MouseMove, p, Qt::LeftButton);
    }
    sendMouse(s, QEvent::MouseButtonRelease, p, Qt::NoButton);
    return s->value();
}

} // namespace

class TestOperatorChoice : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void serialSettingsEnterKeepsChosenPort();
    void serialNumberEnterKeepsChosenDate();
    void serialNumberDateReadableInFull();
    void fanAndTecSlidersCanBeDragged_data();
    void fanAndTecSlidersCanBeDragged();
    void coefficientText_data();
    void coefficientText();
    void pidRefusesTextThatIsNoNumber();

private:
    AdminWd *main = nullptr;
};

void TestOperatorChoice::init()
{
    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");
    main = new AdminWd;
    main->show();
}

void TestOperatorChoice::cleanup()
{
    Harness::destroyWindow(main);
}

void TestOperatorChoice::serialSettingsEnterKeepsChosenPort()
{
    auto *dialog = main->findChild<CommSet *>();
    QVERIFY(dialog);
    dialog->setExtraPorts({QStringLiteral("/dev/korvex-none-a"), QStringLiteral("/dev/korvex-none-b")});
    dialog->hide();
    dialog->show();
    auto *ports = dialog->findChild<QComboBox *>(QStringLiteral("serialName"));
    ports->setCurrentIndex(1);
    dialog->findChild<QComboBox *>(QStringLiteral("baudRate"))->setCurrentIndex(1);
    saveShot(dialog, "commset");
    QSignalSpy sent(dialog, &CommSet::sendCommInfo);
    ports->setFocus();
    QTest::keyClick(ports, Qt::Key_Return);
    // Enter confirms the chosen settings; it never re-lists and re-selects.
    QCOMPARE(sent.count(), 1);
    const auto info = sent.at(0).at(0).value<QVector<QString>>();
    QCOMPARE(info.value(0), QStringLiteral("/dev/korvex-none-b"));
    QCOMPARE(info.value(1), QStringLiteral("9600"));
    QVERIFY(!dialog->isVisible());
    // The refresh button still works when clicked.
    dialog->show();
    ports->setCurrentIndex(1);
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("checkSerial")), Qt::LeftButton);
    QCOMPARE(ports->currentIndex(), 0);
    dialog->hide();
}

void TestOperatorChoice::serialNumberEnterKeepsChosenDate()
{
    auto *dialog = main->findChild<serialNumInput *>();
    QVERIFY(dialog);
    main->findChild<CommSet *>()->hide();
    dialog->show();
    auto *date = dialog->findChild<QDateEdit *>(QStringLiteral("dateEdit"));
    const QDate chosen(2024, 3, 5);
    date->setDate(chosen);
    QTest::keyClicks(dialog->findChild<QLineEdit *>(QStringLiteral("laserType")), "1234567");
    auto *dayNumber = dialog->findChild<QLineEdit *>(QStringLiteral("laserDayNum"));
    QSignalSpy sent(dialog, &serialNumInput::sendSerialNum);
    dayNumber->setFocus();
    QTest::keyClicks(dayNumber, "12");
    QTest::keyClick(dayNumber, Qt::Key_Return);
    QCOMPARE(date->date(), chosen);
    QCOMPARE(sent.count(), 1); // confirmed as "确定" does
    QCOMPARE(sent.at(0).at(0).toByteArray().toHex(), QByteArray("12d687180305000c"));
    QVERIFY(!dialog->isVisible());

    // Enter in the date field itself confirms as well and keeps the date.
    dialog->show();
    date->setDate(QDate(2023, 11, 28));
    date->setFocus();
    QTest::keyClick(date, Qt::Key_Return);
    QCOMPARE(date->date(), QDate(2023, 11, 28));
    QCOMPARE(sent.count(), 2);
    QCOMPARE(sent.at(1).at(0).toByteArray().mid(3, 3).toHex(), QByteArray("170b1c"));
}

void TestOperatorChoice::serialNumberDateReadableInFull()
{
    auto *dialog = main->findChild<serialNumInput *>();
    main->findChild<CommSet *>()->hide();
    dialog->show();
    auto *date = dialog->findChild<QDateEdit *>(QStringLiteral("dateEdit"));
    date->setDate(QDate(2026, 12, 28)); // the widest day, month and year
    QCoreApplication::processEvents();
    saveShot(dialog, "serialnum");
    QCOMPARE(dialog->width(), 310);
    QCOMPARE(date->font().pointSize(), 12); // the main window's font reached it
    auto *text = date->findChild<QLineEdit *>();
    QVERIFY(text);
    // The shown form follows the locale ("2026/12/28", "28 Dec 2026"); all of it must fit.
    QVERIFY2(text->text().contains(QLatin1String("2026")) && text->text().contains(QLatin1String("28")),
             qPrintable(text->text()));
    const int needed = text->fontMetrics().horizontalAdvance(text->text());
    // QLineEdit keeps a couple of pixels of margin on each side of its text.
    QVERIFY2(text->contentsRect().width() - 4 >= needed,
             qPrintable(QStringLiteral("%1 px for %2 px of \"%3\"")
                            .arg(text->contentsRect().width()).arg(needed).arg(text->text())));
    // The button beside it stays readable too.
    auto *today = dialog->findChild<QPushButton *>(QStringLiteral("btnCurrentDate"));
    QVERIFY(today->width() >= today->fontMetrics().horizontalAdvance(today->text()));
    dialog->hide();
}

void TestOperatorChoice::fanAndTecSlidersCanBeDragged_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("fan") << QStringLiteral("fan");
    QTest::newRow("tec") << QStringLiteral("tec");
}

void TestOperatorChoice::fanAndTecSlidersCanBeDragged()
{
    QFETCH(QString, window);
    main->findChild<CommSet *>()->hide();
    QWidget *tool = nullptr;
    QSlider *slider = nullptr;
    if (window == QLatin1String("fan")) {
        main->openFanDebugWd();
        tool = main->findChild<fan_debug *>();
        slider = tool->findChild<QSlider *>(QStringLiteral("fanPwmSetSlider"));
    } else {
        main->openTecDebugWd();
        tool = main->findChild<TecDebug *>();
        slider = tool->findChild<QSlider *>(QStringLiteral("tecPowerSet"));
    }
    QVERIFY(tool->isVisible());
    QCoreApplication::processEvents();
    saveShot(tool, window == QLatin1String("fan") ? "fan" : "tec");
    const int travel = sliderTravel(slider);
    const double unitsPerPixel = double(slider->maximum() - slider->minimum()) / qMax(1, travel);
    QVERIFY2(unitsPerPixel <= 10.0, qPrintable(QStringLiteral("%1 px of travel, %2 units per pixel")
                                                   .arg(travel).arg(unitsPerPixel)));
    // One pixel of drag moves the value by a few units, not by a hundred.
    const int afterOne = dragBy(slider, 1);
    QVERIFY2(afterOne > 0 && afterOne <= 10, qPrintable(QString::number(afterOne)));
    const int afterMore = dragBy(slider, 20);
    QVERIFY(afterMore > afterOne);
    tool->hide();
}

void TestOperatorChoice::coefficientText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number");
    QTest::newRow("decimal") << "1.5" << true;
    QTest::newRow("negative") << "-1.5" << true;
    QTest::newRow("integer") << "3" << true;
    QTest::newRow("exponent") << "1e-3" << true;
    QTest::newRow("empty sends 0") << "" << true;
    QTest::newRow("blanks around") << " 0.1 " << true;
    QTest::newRow("comma") << "1,5" << false;
    QTest::newRow("trailing letter") << "1.5x" << false;
    QTest::newRow("words") << "abc" << false;
    QTest::newRow("nan") << "nan" << false;
    QTest::newRow("inf") << "inf" << false;
    QTest::newRow("two points") << "1.2.3" << false;
}

void TestOperatorChoice::coefficientText()
{
    QFETCH(QString, text);
    QFETCH(bool, number);
    QCOMPARE(PidMath::isCoefficientText(text), number);
    if (number) // valid text still scales as before
        QCOMPARE(PidMath::scaleCoefficient(text), PidMath::scaleCoefficient(text.trimmed()));
}

void TestOperatorChoice::pidRefusesTextThatIsNoNumber()
{
    main->findChild<CommSet *>()->hide();
    main->changeUserMode(QString()); // stays in user mode; the window is reached directly
    auto *pid = main->findChild<PidAdjust *>();
    pid->show();
    QSignalSpy sent(pid, &PidAdjust::setPidSignal);
    auto *kp = pid->findChild<QLineEdit *>(QStringLiteral("lineEditKP"));
    auto *ki = pid->findChild<QLineEdit *>(QStringLiteral("lineEditKI"));
    auto *setPid = pid->findChild<QPushButton *>(QStringLiteral("btnSetPid"));
    QTest::keyClicks(kp, "1,5");
    QTest::keyClicks(ki, "0.1");
    pid->findChild<QLineEdit *>(QStringLiteral("lineEditKD"))->setText("0");
    QTest::mouseClick(setPid, Qt::LeftButton);
    QCOMPARE(sent.count(), 0);
    QVERIFY(kp->property("refused").toBool());
    QVERIFY(!ki->property("refused").toBool());
    QVERIFY(!kp->toolTip().isEmpty());
    QVERIFY2(pid->statusBar()->currentMessage().contains(QLatin1String("KP")),
             qPrintable(pid->statusBar()->currentMessage()));
    QCOMPARE(kp->text(), QStringLiteral("1,5")); // left for the operator to mend
    saveShot(pid, "pid-refused");

    kp->clear();
    QTest::keyClicks(kp, "1.5x");
    QTest::mouseClick(setPid, Qt::LeftButton);
    QCOMPARE(sent.count(), 0);

    kp->selectAll();
    QTest::keyClicks(kp, "1.5");
    QVERIFY(!kp->property("refused").toBool()); // editing clears the mark
    QTest::mouseClick(setPid, Qt::LeftButton);
    QCOMPARE(sent.count(), 1);
    QCOMPARE(sent.at(0).at(0).value<QVector<quint32>>(), (QVector<quint32>{15000, 1000, 0}));
    QVERIFY(pid->statusBar()->currentMessage().isEmpty());
    pid->hide();
}

QTEST_MAIN(TestOperatorChoice)
#include "tst_operatorchoice.moc"
