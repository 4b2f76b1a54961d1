// The main window sends the device only what the operator chose, shows
// itself in a way that can be read, and speaks Chinese throughout: the real
// executor on a pseudo-terminal, a scripted laser on the far side.

#include "FakeLaser.h"
#include "StatusBytes.h"
#include "WindowHarness.h"

#include "PidAdjust.h"
#include "QtChinese.h"

#include <QAbstractButton>
#include <QAction>
#include <QDoubleSpinBox>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStyleOptionFrame>
#include <QWheelEvent>

using namespace Harness;

namespace {

QByteArray frame(quint16 word, const char *dataHex) { return FakeLaser::frame(word, QByteArray::fromHex(dataHex)); }

// With KORVEX_SHOT_DIR set, saves what the window looks like there.
void saveShot(QWidget *w, const QString &name)
{
    const QByteArray dir = qgetenv("KORVEX_SHOT_DIR");
    if (dir.isEmpty())
        return;
    QCoreApplication::processEvents();
    w->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name + QLatin1String(".png"));
}

void wheelUp(QWidget *target)
{
    const QPoint at = target->rect().center();
    QWheelEvent up(at, target->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &up);
}

// Whether a line edit's text area holds its whole text.
bool showsWholeText(QLineEdit *edit)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    const QRect area = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const QMargins margins = edit->textMargins();
    const int room = area.width() - margins.left() - margins.right() - 2 * 2; // the edit's own side margins
    return room >= edit->fontMetrics().horizontalAdvance(edit->text());
}

// Widgets of the central area too small for their text: labels, buttons
// and filled line edits, each measured in its own font.
QStringList squeezedWidgets(AdminWd *w)
{
    QStringList squeezed;
    for (QWidget *c : w->centralWidget()->findChildren<QWidget *>()) {
        if (!c->isVisible())
            continue;
        const QFontMetrics metrics = c->fontMetrics();
        int room = 0;
        QString text;
        if (auto *label = qobject_cast<QLabel *>(c)) {
            text = label->text();
            room = label->contentsRect().width();
        } else if (auto *button = qobject_cast<QAbstractButton *>(c)) {
            text = button->text();
            room = button->width() - 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        } else if (auto *edit = qobject_cast<QLineEdit *>(c)) {
            if (!edit->text().isEmpty() && !showsWholeText(edit))
                squeezed << edit->objectName() + ": " + edit->text();
            continue;
        }
        if (text.isEmpty())
            continue;
        if (room < metrics.horizontalAdvance(text) || c->height() < metrics.height())
            squeezed << QString("%1 %2x%3 for \"%4\"").arg(c->objectName()).arg(c->width()).arg(c->height()).arg(text);
    }
    return squeezed;
}

} // namespace

class TestAdminWdChoices : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void settingsStartFromTheDevice();
    void draftStaysUntilTheDeviceChanges();
    void powerSliderMoveSends_data();
    void powerSliderMoveSends();
    void wheelLeavesSettingBoxes_data();
    void wheelLeavesSettingBoxes();
    void focusAfterOpeningSwitchesNothing();
    void focusIsVisible_data();
    void focusIsVisible();
    void longValuesShowWhole();
    void layoutFollowsTheFont_data();
    void layoutFollowsTheFont();
    void aboutNamesProgramVersionAndReadme();
    void toolkitTextsInChinese();

private:
    void openWithLaser() { openPort(w, pty->slavePath()); }

    PtyPair *pty = nullptr;
    FakeLaser *laser = nullptr;
    AdminWd *w = nullptr;
};

void TestAdminWdChoices::init()
{
    pty = new PtyPair;
    QVERIFY(pty->isValid());
    laser = new FakeLaser(*pty);
    w = new AdminWd;
    w->show();
    w->changeUserMode("velmandro583"); // the maximum DAC controls are factory controls
}

void TestAdminWdChoices::cleanup()
{
    destroyWindow(w);
    delete laser;
    laser = nullptr;
    delete pty;
    pty = nullptr;
}

void TestAdminWdChoices::settingsStartFromTheDevice()
{
    // The device: maximum DAC 3900, power 640, threshold 45.5 ℃.
    laser->setStatusReply(StatusBytes::sample().frame());
    openWithLaser();
    auto *dac = w->findChild<QSpinBox *>("spinBoxMaxDac");
    QTRY_COMPARE_WITH_TIMEOUT(dac->value(), 3900, 5000);
    QCOMPARE(w->findChild<QSlider *>("horizontalSlider_PowerSet")->value(), 640);
    QCOMPARE(w->findChild<QSpinBox *>("spinBox_PowerVal")->value(), 640);
    QCOMPARE(w->findChild<QDoubleSpinBox *>("doubleSpinBoxLdTempThValue")->value(), 45.5);
    // Showing the device's values sent nothing.
    QCOMPARE(laser->framesWithWord(0x0012).size(), 0);

    // DAC+ steps from the device's value, not from the form's 400.
    click(w, "btnSetMaxDacPlus");
    QTRY_COMPARE_WITH_TIMEOUT(laser->framesWithWord(0x00A2).size(), 1, 5000);
    QCOMPARE(laser->framesWithWord(0x00A2).first().toHex(), frame(0x00A2, "0F3D").toHex());
    QCOMPARE(dac->value(), 3901);
}

void TestAdminWdChoices::draftStaysUntilTheDeviceChanges()
{
    laser->setStatusReply(StatusBytes::sample().frame());
    openWithLaser();
    auto *threshold = w->findChild<QDoubleSpinBox *>("doubleSpinBoxLdTempThValue");
    QTRY_COMPARE_WITH_TIMEOUT(threshold->value(), 45.5, 5000);
    // The operator's value stays over further replies with the same value...
    threshold->setValue(40.0);
    const int polls = laser->framesWithWord(0x00C1).size();
    QTRY_VERIFY_WITH_TIMEOUT(laser->framesWithWord(0x00C1).size() >= polls + 3, 5000);
    QCOMPARE(threshold->value(), 40.0);
    // ...and gives way when the device's own value changes.
    laser->setStatusReply(StatusBytes::sample().s16(6, 470).frame());
    QTRY_COMPARE_WITH_TIMEOUT(threshold->value(), 47.0, 5000);
}

void TestAdminWdChoices::powerSliderMoveSends_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::newRow("wheel") << "wheel";
    QTest::newRow("arrow key") << "right";
    QTest::newRow("page key") << "pageup";
}

void TestAdminWdChoices::powerSliderMoveSends()
{
    // A slider that moved sends its value, as a released handle does; a
    // moved slider that sent nothing would disagree with the device unseen.
    QFETCH(QString, gesture);
    auto *slider = w->findChild<QSlider *>("horizontalSlider_PowerSet");
    QSignalSpy sent(w, &AdminWd::setPowerPercent);
    slider->setFocus();
    if (gesture == "wheel")
        wheelUp(slider);
    else
        QTest::keyClick(slider, gesture == "right" ? Qt::Key_Right : Qt::Key_PageUp);
    QVERIFY(slider->value() > 0);
    QCOMPARE(sent.count(), 1);
    QCOMPARE(sent.at(0).at(0).value<quint16>(), quint16(slider->value()));
    QCOMPARE(w->findChild<QSpinBox *>("spinBox_PowerVal")->value(), slider->value());

    // A drag sends once, at its release.
    slider->setSliderDown(true);
    slider->setValue(300);
    slider->setValue(310);
    QCOMPARE(sent.count(), 1);
    slider->setSliderDown(false);
    QCOMPARE(sent.count(), 2);
    QCOMPARE(sent.at(1).at(0).value<quint16>(), quint16(310));
}

void TestAdminWdChoices::wheelLeavesSettingBoxes_data()
{
    QTest::addColumn<QString>("box");
    QTest::newRow("power") << "spinBox_PowerVal";
    QTest::newRow("maximum DAC") << "spinBoxMaxDac";
    QTest::newRow("threshold") << "doubleSpinBoxLdTempThValue";
    QTest::newRow("compensation") << "spinBoxAutoCompensation";
}

void TestAdminWdChoices::wheelLeavesSettingBoxes()
{
    QFETCH(QString, box);
    auto *spin = w->findChild<QAbstractSpinBox *>(box);
    QVERIFY(spin);
    spin->setFocus();
    spin->stepDown(); // off the top of its range, where a step up would show
    const QString before = spin->text();
    wheelUp(spin);
    wheelUp(spin->findChild<QLineEdit *>());
    QCOMPARE(spin->text(), before);
}

void TestAdminWdChoices::focusAfterOpeningSwitchesNothing()
{
    openWithLaser();
    auto *dialog = w->findChild<CommSet *>();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 5000);
    QVERIFY(QTest::qWaitForWindowActive(w));
    QWidget *focused = QApplication::focusWidget();
    QVERIFY(focused);
    QVERIFY2(!qobject_cast<QAbstractButton *>(focused), qPrintable(focused->objectName()));
    saveShot(w, "main-focus-after-open");
    // Enter opened the port; a following Space or Enter changes nothing on the device.
    laser->clearFrames();
    QTest::keyClick(focused, Qt::Key_Space);
    QTest::keyClick(focused, Qt::Key_Return);
    const int polls = laser->framesWithWord(0x00C1).size();
    QTRY_VERIFY_WITH_TIMEOUT(laser->framesWithWord(0x00C1).size() >= polls + 2, 5000);
    QCOMPARE(laser->frames().size(), laser->framesWithWord(0x00C1).size());
    // The buttons that change the laser never take the focus, not even from a click.
    for (const char *name : {"btnTurnOnLd", "btnTurnOffLd", "btnSoftReset", "btnSetMaxDacPlus", "btnSetMaxDacPlus_2",
                             "btnSetMaxDac"})
        QCOMPARE(w->findChild<QWidget *>(name)->focusPolicy(), Qt::NoFocus);
}

void TestAdminWdChoices::focusIsVisible_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("port name after opening") << "open";
    QTest::newRow("save button after a click") << "click";
}

void TestAdminWdChoices::focusIsVisible()
{
    QFETCH(QString, how);
    openWithLaser();
    QTRY_VERIFY_WITH_TIMEOUT(!w->findChild<CommSet *>()->isVisible(), 5000);
    QVERIFY(QTest::qWaitForWindowActive(w));
    if (how == "click")
        click(w, "btnLdTempThSet");
    QWidget *focused = QApplication::focusWidget();
    QVERIFY(focused);
    const QImage withFocus = focused->grab().toImage();
    focused->clearFocus();
    const QImage withoutFocus = focused->grab().toImage();
    QVERIFY2(withFocus != withoutFocus, qPrintable(focused->objectName()));
}

void TestAdminWdChoices::longValuesShowWhole()
{
    openWithLaser();
    auto *port = w->centralWidget()->findChild<QLineEdit *>("ComNameShow");
    QCOMPARE(port->text(), pty->slavePath());
    QCOMPARE(port->toolTip(), pty->slavePath());
    QVERIFY2(showsWholeText(port), qPrintable(port->text()));

    // A composed serial number before it is saved.
    QVERIFY(QMetaObject::invokeMethod(w, "updateDevSerialNumValue", Qt::DirectConnection,
                                      Q_ARG(QByteArray, QByteArray::fromHex("0000011A0C081B58"))));
    auto *composed = w->centralWidget()->findChild<QLineEdit *>("devSerialNumValue");
    QCOMPARE(composed->text(), QString("1-202612087000"));
    QVERIFY2(showsWholeText(composed), qPrintable(composed->text()));
    QVERIFY(QMetaObject::invokeMethod(w, "updateDevSerialNumValue", Qt::DirectConnection,
                                      Q_ARG(QByteArray, QByteArray::fromHex("FFFFFF630C1FFFFF"))));
    QVERIFY2(showsWholeText(composed), qPrintable(composed->text()));

    // The PID window's coefficients as the device reports them, in the
    // main window's font.
    w->openPidAdjust();
    auto *pid = w->findChild<PidAdjust *>();
    QVERIFY(QTest::qWaitForWindowExposed(pid));
    pid->updateShowText({250, 600, 1234567, 15000, 999999});
    for (const char *name : {"lineEditKP", "lineEditKI", "lineEditKD"}) {
        auto *field = pid->findChild<QLineEdit *>(name);
        QVERIFY2(showsWholeText(field), qPrintable(field->text()));
    }
    saveShot(pid, "pid-window");
}

void TestAdminWdChoices::layoutFollowsTheFont_data()
{
    // 18 pt is the window's 12 pt at 144 dpi.
    QTest::addColumn<int>("points");
    QTest::newRow("12 pt") << 12;
    QTest::newRow("18 pt") << 18;
    QTest::newRow("24 pt") << 24;
}

void TestAdminWdChoices::layoutFollowsTheFont()
{
    QFETCH(int, points);
    laser->setStatusReply(StatusBytes::sample().frame());
    openWithLaser();
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "SoftVersion"), QString("V1.5"), 5000);
    w->setStyleSheet(QString("font: %1pt \"新宋体\";\n").arg(points));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // The layout, not a fixed number, sets the smallest size; the window
    // takes it once the new font's sizes have been laid out. Made smaller
    // than its controls, the window scrolls them: none is squeezed.
    QTRY_COMPARE_WITH_TIMEOUT(w->minimumSize(), w->minimumSizeHint(), 5000);
    w->resize(200, 150); // as small as the window lets itself be made
    QTRY_COMPARE_WITH_TIMEOUT(w->size(), w->minimumSizeHint().expandedTo(QSize(200, 150)), 5000);
    saveShot(w, QString("main-%1pt").arg(points));
    const QStringList squeezed = squeezedWidgets(w);
    QVERIFY2(squeezed.isEmpty(), qPrintable(squeezed.join("; ")));
}

void TestAdminWdChoices::aboutNamesProgramVersionAndReadme()
{
    w->findChild<CommSet *>()->hide();
    QString title, text;
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [&title, &text, timer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        timer->stop();
        title = box->windowTitle();
        text = box->text();
        saveShot(box, "about");
        box->accept();
    });
    timer->start(20);
    w->findChild<QAction *>("actionAbout")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!text.isEmpty(), 5000);
    QCOMPARE(title, QString("关于"));
    QVERIFY2(text.startsWith("Korvex " KORVEX_TEST_VERSION "\n"), qPrintable(text));
    QVERIFY2(text.contains("/share/doc/korvex/README.md"), qPrintable(text));
    QVERIFY2(text.contains("man korvex"), qPrintable(text));
}

void TestAdminWdChoices::toolkitTextsInChinese()
{
    QVERIFY(QtChinese::install(qApp));
    openWithLaser();
    // The disconnect question's buttons.
    QStringList buttons;
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [&buttons, timer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        timer->stop();
        buttons << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
        saveShot(box, "question-zh");
        box->button(QMessageBox::No)->click();
    });
    timer->start(20);
    w->findChild<QAction *>("actionSerialSet")->trigger();
    QCOMPARE(buttons, QStringList({"是(&Y)", "否(&N)"}));
}

QTEST_MAIN(TestAdminWdChoices)
#include "tst_adminwd_choices.moc"
