#ifndef KORVEX_DEMOWINDOWS_H
#define KORVEX_DEMOWINDOWS_H

class AdminWd;
class ProductionTestWd;
class QString;
class QTextEdit;
class TrendStore;
class TrendWd;

// How the demo arranges and drives the windows for a picture.
namespace DemoWindows {

// Gap between two windows, in the picture and on the screen.
constexpr int WindowGap = 16;

// Deletes the window, lets the executor end on its own thread, and collects
// the objects it leaves for deferred deletion.
void closeWindow(AdminWd *window);
// Unlocks factory mode the way the password dialog does and shows the PID
// window to the right of the main window. False if factory mode stayed locked.
bool enterFactoryMode(AdminWd *window);
// Switches the TEC to manual drive at a high setting through the TEC debug
// window's own controls (the window itself stays closed): the laser
// temperature and the loop output then move visibly.
void driveTecByHand(AdminWd *window);
// Shows the trend window to the right of the main window.
TrendWd *openTrendBeside(AdminWd *window);
// Largest change of the laser temperature among the samples kept, in degrees.
double laserTempSwing(const TrendStore &store);
// Puts the mouse over the temperature chart at the sample after the TEC was
// switched to manual drive, so that the picture shows the cursor readout.
void pointAtBend(TrendWd *trend);
// Unlocks factory mode and opens "生产测试" with a short plan written into
// `folder` (its records go there too), serial number and operator filled in.
ProductionTestWd *openProductionTest(AdminWd *window, const QString &folder);
// Starts the test and waits until its hold step shows live values.
bool runProductionTestToHold(ProductionTestWd *test);
// Status lines shown; each sample is followed by an empty line.
int sampleCount(const QTextEdit *edit);

} // namespace DemoWindows

#endif
