// Every window of the program on the screen it opens on, run under Xvfb at
// the screen sizes and dpi of the test's name (the offscreen platform has
// no dpi): each window's smallest size fits the available area, it opens
// inside that area and not on top of the tool window opened before it, its
// last place is kept for the next run when it still fits, and the serial
// settings dialog shows a long port name whole.
//
// KORVEX_WINDOW_PICTURES=DIR saves a picture of each window there.

#include "CommSet.h"
#include "ScreenScaling.h"
#include "WindowHarness.h"
#include "WindowSettings.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLayout>
#include <QScreen>
#include <QSettings>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>

using namespace Harness;

namespace {

// Room for a window manager's frame and title bar, which Xvfb has none of.
const QMargins Decoration(4, 30, 4, 4);

QWidget *topWindow(AdminWd *w, const QString &name)
{
    if (name == QLatin1String("AdminWd"))
        return w;
    return w->findChild<QWidget *>(name);
}

// Shows the window the way the operator does: a menu entry or a button of
// the main window, or directly for the dialogs that are run modally.
void open(AdminWd *w, const QString &opener, QWidget *window)
{
    if (opener.isEmpty())
        window->show();
    else if (auto *action = w->findChild<QAction *>(opener))
        action->trigger();
    else if (auto *button = w->centralWidget()->findChild<QPushButton *>(opener))
        QTest::mouseClick(button, Qt::LeftButton);
    else
        window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

QSize smallest(QWidget *window)
{
    const QSize layout = window->layout() ? window->layout()->totalMinimumSize() : window->minimumSizeHint();
    return layout.expandedTo(window->minimumSize());
}

QRect available()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

QRect decorated(const QRect &frame)
{
    return frame.marginsAdded(Decoration);
}

} // namespace

class TestWindowFit : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    // Each test starts with no window's place remembered.
    void init() { QSettings("Korvex", "korvex").remove("windows"); }
    void cleanup() { destroyWindow(w); }
    void windowFitsTheScreen_data();
    void windowFitsTheScreen();
    void toolWindowsOpenApart();
    void placeRememberedWhenItFits_data();
    void placeRememberedWhenItFits();
    void longPortNameShownWhole();

private:
    void openFactoryWindow();
    QTemporaryDir settingsDir;
    AdminWd *w = nullptr;
};

void TestWindowFit::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    qInfo("screen %dx%d, available %dx%d, scale %.2f, font dpi %.0f",
          QGuiApplication::primaryScreen()->geometry().width(), QGuiApplication::primaryScreen()->geometry().height(),
          available().width(), available().height(), QGuiApplication::primaryScreen()->devicePixelRatio(),
          QGuiApplication::primaryScreen()->logicalDotsPerInch());
}

void TestWindowFit::openFactoryWindow()
{
    w = new AdminWd;
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    w->changeUserMode("velmandro583");
}

void TestWindowFit::windowFitsTheScreen_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("opener");
    QTest::addColumn<bool>("factory");
    QTest::newRow("main, user mode") << "AdminWd" << "" << false;
    QTest::newRow("main, factory mode") << "AdminWd" << "" << true;
    QTest::newRow("serial settings") << "CommSet" << "actionSerialSet" << false;
    QTest::newRow("PID") << "PidAdjust" << "actionPidDebug" << true;
    QTest::newRow("TEC") << "TecDebug" << "actiontecDebug" << true;
    QTest::newRow("fan") << "fan_debug" << "actionfanDebug" << true;
    QTest::newRow("serial number") << "serialNumInput" << "btnShowSerialDialog" << true;
    QTest::newRow("update") << "UpdateWidget" << "actionupdateDev" << false;
    QTest::newRow("trend") << "TrendWd" << "actionTrend" << false;
    QTest::newRow("password") << "DialogPasswordWd" << "actionFactoryMode" << false;
    QTest::newRow("events") << "EventWd" << "actionEvents" << false;
    QTest::newRow("service report") << "ServiceReportDialog" << "" << false;
}

void TestWindowFit::windowFitsTheScreen()
{
    QFETCH(QString, window);
    QFETCH(QString, opener);
    QFETCH(bool, factory);
    w = new AdminWd;
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    if (factory)
        w->changeUserMode("velmandro583");
    QWidget *shown = topWindow(w, window);
    QVERIFY2(shown, qPrintable(window));
    if (shown != w)
        open(w, opener, shown);
    QTest::qWait(50);

    const QSize least = smallest(shown);
    const QRect frame = shown->frameGeometry();
    qInfo("%s: smallest %dx%d, opens at %d,%d %dx%d", QTest::currentDataTag(), least.width(), least.height(),
          frame.x(), frame.y(), frame.width(), frame.height());
    const QString pictures = qEnvironmentVariable("KORVEX_WINDOW_PICTURES");
    if (!pictures.isEmpty()) {
        QDir().mkpath(pictures);
        shown->grab().save(QDir(pictures).filePath(window + (factory ? "-factory" : "") + ".png"));
    }
    const QSize room = available().marginsRemoved(Decoration).size();
    QVERIFY2(least.width() <= room.width() && least.height() <= room.height(),
             qPrintable(QString("smallest %1x%2, room %3x%4")
                            .arg(least.width()).arg(least.height()).arg(room.width()).arg(room.height())));
    QVERIFY2(available().contains(decorated(frame)),
             qPrintable(QString("opens at %1,%2 %3x%4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height())));
}

void TestWindowFit::toolWindowsOpenApart()
{
    // Each newly opened tool window keeps clear of those already open where
    // the screen has room, and never hides another's title bar.
    openFactoryWindow();
    QList<QWidget *> opened;
    const QPair<const char *, const char *> tools[] = {{"actionPidDebug", "PidAdjust"}, {"actionTrend", "TrendWd"},
                                                       {"actiontecDebug", "TecDebug"}, {"actionfanDebug", "fan_debug"},
                                                       {"actionEvents", "EventWd"}};
    for (const auto &[action, name] : tools) {
        QWidget *tool = topWindow(w, name);
        open(w, action, tool);
        const QRect frame = decorated(tool->frameGeometry());
        qInfo("%s opens at %d,%d %dx%d", action, frame.x(), frame.y(), frame.width(), frame.height());
        QVERIFY2(available().contains(frame), action);
        for (QWidget *before : opened) {
            const QRect title(decorated(before->frameGeometry()).topLeft(),
                              QSize(before->frameGeometry().width(), Decoration.top()));
            QVERIFY2(!frame.intersects(title), qPrintable(QString("%1 over %2").arg(action, before->objectName())));
        }
        opened << tool;
    }
    // The PID and trend windows side by side or one below the other, where
    // the screen has room for both at the sizes they opened at.
    const QSize pid = opened.at(0)->size().grownBy(Decoration);
    const QSize trend = opened.at(1)->size().grownBy(Decoration);
    if (pid.width() + trend.width() <= available().width() || pid.height() + trend.height() <= available().height())
        QVERIFY(!decorated(opened.at(0)->frameGeometry()).intersects(decorated(opened.at(1)->frameGeometry())));
}

void TestWindowFit::placeRememberedWhenItFits_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("opener");
    QTest::addColumn<bool>("fits");
    QTest::newRow("PID, where it was") << "PidAdjust" << "actionPidDebug" << true;
    QTest::newRow("PID, off the screen") << "PidAdjust" << "actionPidDebug" << false;
    QTest::newRow("main, where it was") << "AdminWd" << "" << true;
    QTest::newRow("main, larger than the screen") << "AdminWd" << "" << false;
}

void TestWindowFit::placeRememberedWhenItFits()
{
    QFETCH(QString, window);
    QFETCH(QString, opener);
    QFETCH(bool, fits);
    openFactoryWindow();
    QWidget *shown = topWindow(w, window);
    if (shown != w)
        open(w, opener, shown);
    const QSize least = smallest(shown);
    const QRect room = available().marginsRemoved(Decoration);
    const QRect place(room.topLeft() + QPoint(room.width() - least.width(), room.height() - least.height()) / 3,
                      least);
    shown->move(place.topLeft());
    shown->resize(place.size());
    QTest::qWait(50);
    const QRect kept(shown->pos(), shown->size());
    destroyWindow(w);
    if (!fits) {
        const QRect wrong = QRect(available().bottomRight() - QPoint(20, 20), available().size() * 2);
        WindowSettings::setWindowGeometry(window, wrong);
    }

    openFactoryWindow();
    shown = topWindow(w, window);
    if (shown != w)
        open(w, opener, shown);
    QTest::qWait(50);
    if (fits)
        QCOMPARE(QRect(shown->pos(), shown->size()), kept);
    QVERIFY(available().contains(decorated(shown->frameGeometry())));
}

void TestWindowFit::longPortNameShownWhole()
{
    const QString port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KXYZQ-if00-port0";
    w = new AdminWd;
    w->show();
    // The dialog lists the ports anew each time it opens.
    auto *dialog = w->findChild<CommSet *>();
    dialog->hide();
    dialog->setExtraPorts({port});
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    auto *name = dialog->findChild<QComboBox *>("serialName");
    QCOMPARE(name->currentText(), port);
    const auto textRoom = [name] {
        QStyleOptionComboBox option;
        option.initFrom(name);
        return name->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, name).width();
    };
    const int needed = name->fontMetrics().horizontalAdvance(port);
    QTRY_VERIFY2_WITH_TIMEOUT(textRoom() >= needed,
                              qPrintable(QString("%1 of %2; dialog %3 wide, at most %4, at least %5")
                                             .arg(textRoom()).arg(needed).arg(dialog->width())
                                             .arg(dialog->maximumWidth()).arg(dialog->minimumWidth())),
                              2000);
    QVERIFY(available().contains(decorated(dialog->frameGeometry())));
}

int main(int argc, char *argv[])
{
    // As the program itself starts.
    enableScreenScaling();
    QApplication app(argc, argv);
    TestWindowFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowfit.moc"
