// korvex-demo: the Korvex main window against the simulated laser.
//
// Starts korvex-sim (found beside this program) on a pseudo-terminal, shows
// the same main window as korvex and offers the simulated port first in the
// serial settings dialog and in the update window. The simulator's boot
// loader saves firmware images sent from the update window in a temporary
// directory, named on start. The simulator is stopped on every way out:
// a normal exit, SIGINT, SIGTERM or SIGHUP (the terminal closed) end the
// event loop and clean up; if the demo dies any other way (SIGKILL, a
// crash) the kernel ends the simulator with it.
//
//   korvex-demo                       choose the port and press 确定 yourself
//   korvex-demo --auto-open           open the simulated port at once
//   korvex-demo --screenshot FILE     open it, wait for live data, save a
//                                     picture of the main window, exit
//   korvex-demo --factory             unlock factory mode and open the PID
//                                     window beside the main window; with
//                                     --screenshot the picture shows both,
//                                     after the TEC was switched to manual
//                                     drive so that the PID values move
//   korvex-demo --lang en             the windows in English (zh: Chinese)
//   korvex-demo --trend               open the trend window beside the main
//                                     window, the simulator running 20 times
//                                     faster with fan 3 stuck; with
//                                     --screenshot the picture shows both once
//                                     the laser temperature bends under manual
//                                     TEC drive
//   korvex-demo --production-test     unlock factory mode and open "生产测试"
//                                     with a short plan; with --screenshot
//                                     the picture is that window during the
//                                     run, its hold step showing live values
//   korvex-demo --service-report FILE open it, send a few commands, wait for
//                                     a trend with a fan alarm, write the
//                                     service report as PDF, exit

#include "AdminWd.h"
#include "CommSet.h"
#include "DemoCapture.h"
#include "DemoSimulator.h"
#include "DemoWindows.h"
#include "ExitCode.h"
#include "Language.h"
#include "OptionErrors.h"
#include "ProductionTestWd.h"
#include "ScreenScaling.h"
#include "SignalEvents.h"
#include "TiedProcess.h"
#include "TrendWd.h"
#include "UpdateWidget.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMainWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Korvex main window against the simulated laser"));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    QCommandLineOption autoOpen(QStringLiteral("auto-open"), QStringLiteral("Open the simulated port at once."));
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Open the simulated port, save a picture of the main window "
                                                 "once live data are shown, and exit."),
                                  QStringLiteral("file"));
    QCommandLineOption factory(QStringLiteral("factory"),
                               QStringLiteral("For demonstrations: unlock factory mode and open the PID window "
                                              "(with --screenshot the picture shows both windows)."));
    parser.addOption(autoOpen);
    parser.addOption(screenshot);
    QCommandLineOption trendOption(QStringLiteral("trend"),
                                   QStringLiteral("For demonstrations: open the trend window beside the main window, "
                                                  "the simulator 20 times faster with fan 3 stuck (with --screenshot "
                                                  "the picture shows both once the charts show a trend)."));
    parser.addOption(factory);
    parser.addOption(trendOption);
    QCommandLineOption langOption(QStringLiteral("lang"),
                                  QStringLiteral("The windows' language: en or zh (default: the remembered choice, "
                                                 "else the system locale)."),
                                  QStringLiteral("code"));
    parser.addOption(langOption);
    QCommandLineOption reportOption(QStringLiteral("service-report"),
                                    QStringLiteral("Open the simulated port, send a few commands, write the service "
                                                   "report (PDF) once the trend shows a fan alarm, and exit."),
                                    QStringLiteral("file"));
    parser.addOption(reportOption);
    QCommandLineOption productionOption(QStringLiteral("production-test"),
                                        QStringLiteral("For demonstrations: unlock factory mode and open the production "
                                                       "test window with a short plan (with --screenshot the picture "
                                                       "shows that window during the run)."));
    parser.addOption(productionOption);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const bool parsed = parser.parse(arguments);
    const bool helpAll = arguments.contains(QStringLiteral("--help-all"));
    if (!parsed && !helpAll) {
        std::fprintf(stderr, "korvex-demo: %s\nTry 'korvex-demo --help'.\n", qPrintable(optionError(parser)));
        return ExitCode::BadArguments;
    }
    if (parser.isSet(helpOption) || parser.isSet(versionOption) || helpAll) {
        // Help and version need no display: a core application answers
        // them (process() prints and exits).
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("korvex-demo"));
        QCoreApplication::setApplicationVersion(QStringLiteral(KORVEX_VERSION));
        parser.process(core);
        return ExitCode::Done;
    }

    const QString lang = parser.value(langOption);
    if (!lang.isEmpty() && !Language::isKnown(lang)) {
        std::fprintf(stderr, "korvex-demo: --lang takes en or zh\n");
        return ExitCode::BadArguments;
    }

    enableScreenScaling();
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvex-demo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVEX_VERSION));
    Language::install(&app, Language::choose(lang));
    const bool trendShot = parser.isSet(trendOption);
    const QString reportFile = parser.value(reportOption);

    // Signals end the event loop, so that the clean-up below runs.
    SignalEvents quitOnSignal;
    QObject::connect(&quitOnSignal, &SignalEvents::received, QCoreApplication::instance(), &QCoreApplication::quit);
    QTemporaryDir firmwareDir(QDir::temp().filePath(QStringLiteral("korvex-demo-firmware-XXXXXX")));
    TiedProcess sim;
    const QStringList simExtra = trendShot || !reportFile.isEmpty() ? QStringList{QStringLiteral("--speed"), QStringLiteral("20"),
                                                         QStringLiteral("--fan-stuck"), QStringLiteral("3")}
                                           : QStringList();
    const QString simPort = DemoSimulator::start(sim, firmwareDir.path(), simExtra);
    if (simPort.isEmpty()) {
        std::fprintf(stderr, "korvex-demo: the simulator did not start\n");
        DemoSimulator::stop(sim);
        return ExitCode::DemoFailed;
    }
    std::printf("korvex-demo: simulated laser on %s\n", qPrintable(simPort));
    std::printf("korvex-demo: firmware sent from the update window lands in %s\n", qPrintable(firmwareDir.path()));
    std::fflush(stdout);

    auto *window = new AdminWd;
    window->show();
    // A picture shows the whole window, on whatever screen the demo runs.
    if (parser.isSet(screenshot))
        window->resize(window->sizeHint());
    auto *dialog = window->findChild<CommSet *>();
    dialog->setExtraPorts({simPort});
    dialog->refreshPortList();
    window->findChild<UpdateWidget *>()->setExtraPorts({simPort});

    const bool factoryShot = parser.isSet(factory);
    if (factoryShot && !DemoWindows::enterFactoryMode(window)) {
        std::fprintf(stderr, "korvex-demo: factory mode did not unlock\n");
        DemoWindows::closeWindow(window);
        DemoSimulator::stop(sim);
        return ExitCode::DemoFailed;
    }
    TrendWd *trendWindow = trendShot ? DemoWindows::openTrendBeside(window) : nullptr;
    ProductionTestWd *testWindow = nullptr;
    if (parser.isSet(productionOption) && !(testWindow = DemoWindows::openProductionTest(window, firmwareDir.path()))) {
        std::fprintf(stderr, "korvex-demo: the production test window did not open\n");
        DemoWindows::closeWindow(window);
        DemoSimulator::stop(sim);
        return ExitCode::DemoFailed;
    }
    auto *pidWindow = window->findChild<QMainWindow *>(QStringLiteral("PidAdjust"));
    auto *pidLines = pidWindow->findChild<QTextEdit *>(QStringLiteral("textEditShowTemp"));

    const QString shotFile = parser.value(screenshot);
    if (parser.isSet(autoOpen) || !shotFile.isEmpty() || !reportFile.isEmpty() || testWindow) {
        QTimer::singleShot(300, dialog, [dialog] {
            dialog->findChild<QPushButton *>(QStringLiteral("switchSerial"))->click();
        });
    }

    DemoScene scene;
    scene.window = window;
    scene.factory = factoryShot;
    scene.pid = pidWindow;
    scene.pidLines = pidLines;
    scene.trend = trendWindow;
    scene.productionTest = testWindow;
    int exitCode = ExitCode::Done;
    if (!shotFile.isEmpty()) {
        DemoCapture::whenSettled(scene, [&scene, &shotFile, &exitCode] {
            return exitCode = DemoCapture::savePicture(scene, shotFile);
        });
    } else if (!reportFile.isEmpty()) {
        // Enough of a trend for the fan alarm of the stuck fan to show.
        scene.trendSamples = 24;
        scene.sendCommands = true;
        DemoCapture::whenSettled(scene, [&scene, &reportFile, &exitCode] {
            return exitCode = DemoCapture::writeServiceReport(scene, reportFile);
        });
    }

    const int loopCode = app.exec();
    DemoWindows::closeWindow(window);
    DemoSimulator::stop(sim);
    return exitCode ? exitCode : loopCode;
}
