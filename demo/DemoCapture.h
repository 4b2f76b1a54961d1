#ifndef KORVEX_DEMOCAPTURE_H
#define KORVEX_DEMOCAPTURE_H

#include <QString>

#include <functional>

class AdminWd;
class ProductionTestWd;
class QMainWindow;
class QTextEdit;
class TrendWd;

// What the demo shows, and so what it waits for before it takes its
// picture or writes its report.
struct DemoScene
{
    AdminWd *window = nullptr;
    // Factory mode with the PID window beside, whose status lines must move.
    bool factory = false;
    QMainWindow *pid = nullptr;
    QTextEdit *pidLines = nullptr;
    // The trend window beside, whose laser temperature must bend.
    TrendWd *trend = nullptr;
    // Samples the trend must hold (0: no trend needed).
    int trendSamples = 0;
    // The production test window beside, run into its hold step.
    ProductionTestWd *productionTest = nullptr;
    // Operator commands sent once live data arrive (laser on, a power).
    bool sendCommands = false;
};

namespace DemoCapture {

// Once the window shows live data and what the scene needs, runs `take`
// and ends the event loop with its exit code; gives up (DemoFailed) when
// the data do not come in time.
void whenSettled(const DemoScene &scene, std::function<int()> take);
// The main window, or the two windows side by side, as a PNG file.
int savePicture(const DemoScene &scene, const QString &file);
// The service report of the session, as the menu entry writes it.
int writeServiceReport(const DemoScene &scene, const QString &file);

} // namespace DemoCapture

#endif
