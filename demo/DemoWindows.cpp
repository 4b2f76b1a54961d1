#include "DemoWindows.h"

#include "AdminWd.h"
#include "FactoryPassword.h"
#include "PlCommand.h"
#include "ProductionTestWd.h"
#include "TrendWd.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QTextEdit>
#include <QThread>
#include <QtCharts/QChartView>

#include <algorithm>

namespace DemoWindows {

// Deletes the window, lets the executor end on its own thread, and collects
// the objects it leaves for deferred deletion.
void closeWindow(AdminWd *window)
{
    QPointer<QThread> worker = window->executor()->workerThread();
    delete window;
    if (worker)
        worker->wait(5000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// Unlocks factory mode the way the password dialog does and shows the PID
// window to the right of the main window. False if factory mode stayed locked.
bool enterFactoryMode(AdminWd *window)
{
    window->changeUserMode(FactoryPassword::text()); // typed for the user
    auto *maxDac = window->findChild<QWidget *>(QStringLiteral("spinBoxMaxDac"));
    if (!maxDac || maxDac->isHidden())
        return false;
    window->move(0, 0);
    window->openPidAdjust();
    auto *pid = window->findChild<QMainWindow *>(QStringLiteral("PidAdjust"));
    if (!pid)
        return false;
    // Wide enough for a whole status line per row, as tall as the main window.
    pid->resize(360, window->height());
    pid->move(window->frameGeometry().right() + WindowGap, 0);
    return true;
}

// Switches the TEC to manual drive at a high setting through the TEC debug
// window's own controls (the window itself stays closed): the laser
// temperature and the loop output then move visibly.
void driveTecByHand(AdminWd *window)
{
    auto *tec = window->findChild<QMainWindow *>(QStringLiteral("TecDebug"));
    if (!tec)
        return;
    tec->findChild<QPushButton *>(QStringLiteral("btnAtutoTecOff"))->click();
    auto *power = tec->findChild<QSlider *>(QStringLiteral("tecPowerSet"));
    power->setValue(power->maximum());
}

// Shows the trend window to the right of the main window.
TrendWd *openTrendBeside(AdminWd *window)
{
    window->move(0, 0);
    window->openTrendWd();
    auto *trend = window->findChild<TrendWd *>();
    if (!trend)
        return nullptr;
    trend->resize(960, 820);
    trend->move(window->frameGeometry().right() + WindowGap, 0);
    return trend;
}

// Largest change of the laser temperature among the samples kept, in degrees.
double laserTempSwing(const TrendStore &store)
{
    double low = 0, high = 0;
    bool any = false;
    for (int i = 0; i < store.size(); ++i) {
        if (!store.at(i).valid)
            continue;
        const double t = store.at(i).values[TrendLaserTemp];
        low = any ? std::min(low, t) : t;
        high = any ? std::max(high, t) : t;
        any = true;
    }
    return high - low;
}

// Puts the mouse over the temperature chart at the sample after the TEC was
// switched to manual drive, so that the picture shows the cursor readout.
void pointAtBend(TrendWd *trend)
{
    const TrendStore &store = trend->samples();
    int at = 0;
    while (at < store.size() && !store.at(at).valid)
        ++at;
    at = std::min(at + 6, store.size() - 1);
    auto *view = trend->findChild<QtCharts::QChartView *>(QStringLiteral("chartViewTemp"));
    if (!view || at < 0)
        return;
    const QPointF value(double(store.at(at).msecs), double(store.at(at).values[TrendLaserTemp]));
    const QPointF inChart = view->chart()->mapToPosition(value);
    const QPoint pos = view->mapFromScene(view->chart()->mapToScene(inChart));
    QMouseEvent move(QEvent::MouseMove, pos, view->viewport()->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
}

// Status lines shown; each sample is followed by an empty line.
int sampleCount(const QTextEdit *edit)
{
    const QStringList lines = edit->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return int(lines.size());
}

} // namespace DemoWindows

namespace DemoWindows {

ProductionTestWd *openProductionTest(AdminWd *window, const QString &folder)
{
    window->changeUserMode(FactoryPassword::text());
    window->move(0, 0);
    window->openProductionTestWd();
    auto *test = window->findChild<ProductionTestWd *>();
    if (!test || !test->isVisible())
        return nullptr;
    const QString planPath = QDir(folder).filePath(QStringLiteral("demo-check.yaml"));
    QFile plan(planPath);
    if (!plan.open(QIODevice::WriteOnly))
        return nullptr;
    plan.write("# A short production check for the demonstration.\n"
               "name: demo-check\n"
               "timeout: 3m\n"
               "poll: 500ms\n"
               "steps:\n"
               "  - name: identity\n"
               "    check: {alarms: none, firmware: {at_least: \"1.5\"}}\n"
               "  - name: line settings\n"
               "    set: {power: 500, threshold: 45.0}\n"
               "  - name: idle hold\n"
               "    hold:\n"
               "      for: 30s\n"
               "      limits:\n"
               "        laser_temp_c: {min: 15, max: 35}\n"
               "        fan_rpm[0]: {min: 1000}\n"
               "        fan_rpm[1]: {min: 1000}\n"
               "  - name: temperature stable\n"
               "    measure: {field: laser_temp_c, stat: spread, over: 10s, limits: {max: 1.0, marginal: 0.3}}\n"
               "  - name: look at the beam\n"
               "    prompt: Is the beam round and centred on the target?\n");
    plan.close();
    test->findChild<QLineEdit *>(QStringLiteral("lineEditRecords"))->setText(QDir(folder).filePath(QStringLiteral("records")));
    test->findChild<QLineEdit *>(QStringLiteral("lineEditSerial"))->setText(QStringLiteral("25001-20240709-0001"));
    test->findChild<QLineEdit *>(QStringLiteral("lineEditOperator"))->setText(QStringLiteral("Demo"));
    if (!test->loadPlan(planPath))
        return nullptr;
    test->move(window->frameGeometry().right() + WindowGap, 0);
    return test;
}

bool runProductionTestToHold(ProductionTestWd *test)
{
    test->startTest();
    auto *table = test->findChild<QTableWidget *>(QStringLiteral("tableSteps"));
    QElapsedTimer waited;
    waited.start();
    // A few live samples into the hold, the settings step passed before it.
    while (waited.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        const QTableWidgetItem *values = table->item(2, 2);
        if (values && values->text().count(QLatin1Char('=')) >= 3 && waited.elapsed() > 4000)
            return true;
    }
    return false;
}

} // namespace DemoWindows
