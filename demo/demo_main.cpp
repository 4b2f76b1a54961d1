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

#include "FactoryPassword.h"
#include "AdminWd.h"
#include "CommSet.h"
#include "ExitCode.h"
#include "Language.h"
#include "OptionErrors.h"
#include "ScreenScaling.h"
#include "PlCommand.h"
#include "SignalEvents.h"
#include "TiedProcess.h"
#include "TrendWd.h"
#include "UpdateWidget.h"

#include <QApplication>
#include <QMouseEvent>
#include <QtCharts/QChartView>
#include <QMainWindow>
#include <QPainter>
#include <QSlider>
#include <QTextEdit>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdio>

namespace {

// The simulator beside this program (a build folder, or an installed bin/),
// else the one on PATH.
QString simulatorProgram()
{
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("korvex-sim"));
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStandardPaths::findExecutable(QStringLiteral("korvex-sim"));
}

// Starts the simulator and returns the pty path it announces ("" on failure).
QString startSimulator(QProcess &sim, const QString &firmwareDir, const QStringList &extraArgs = {})
{
    const QString program = simulatorProgram();
    if (program.isEmpty()) {
        std::fprintf(stderr, "korvex-demo: korvex-sim not found beside %s or on PATH\n",
                     qPrintable(QCoreApplication::applicationDirPath()));
        return QString();
    }
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Its boot loader takes firmware images sent from the update window.
    sim.start(program, QStringList{QStringLiteral("--pty"), QStringLiteral("--firmware-dir"), firmwareDir} + extraArgs);
    if (!sim.waitForStarted(5000))
        return QString();
    // The simulator names its pty on a line of its standard output.
    QElapsedTimer t;
    t.start();
    QByteArray seen;
    while (t.elapsed() < 5000) {
        if (!sim.canReadLine() && !sim.waitForReadyRead(200)) {
            if (sim.state() != QProcess::Running)
                break;
            continue;
        }
        while (sim.canReadLine()) {
            const QString line = QString::fromLocal8Bit(sim.readLine()).trimmed();
            const int at = line.indexOf(QStringLiteral("/dev/"));
            if (at >= 0)
                return line.mid(at).section(QLatin1Char(' '), 0, 0);
        }
    }
    return QString();
}

void stopSimulator(QProcess &sim)
{
    if (sim.state() == QProcess::NotRunning)
        return;
    sim.terminate();
    if (!sim.waitForFinished(2000)) {
        sim.kill();
        sim.waitForFinished(2000);
    }
}

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

// Gap between the two windows, in the picture and on the screen.
constexpr int kWindowGap = 16;

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
    pid->move(window->frameGeometry().right() + kWindowGap, 0);
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

// One picture of a window with a plain title bar above it, so that the
// reader sees which window is which.
QPixmap withTitleBar(QWidget *w)
{
    const QPixmap body = w->grab();
    const int barHeight = 26;
    QPixmap framed(body.width(), body.height() + barHeight);
    framed.fill(QColor(0xdd, 0xdd, 0xdd));
    QPainter p(&framed);
    p.fillRect(0, 0, framed.width(), barHeight, QColor(0x3c, 0x5a, 0x82));
    p.setPen(Qt::white);
    p.drawText(QRect(8, 0, framed.width() - 16, barHeight), Qt::AlignVCenter | Qt::AlignLeft, w->windowTitle());
    p.drawPixmap(0, barHeight, body);
    return framed;
}

// The main window and the PID window side by side on a neutral background.
QPixmap sideBySide(QWidget *left, QWidget *right)
{
    const QPixmap a = withTitleBar(left);
    const QPixmap b = withTitleBar(right);
    QPixmap both(a.width() + kWindowGap + b.width(), std::max(a.height(), b.height()));
    both.fill(QColor(0x9a, 0xa4, 0xae));
    QPainter p(&both);
    p.drawPixmap(0, 0, a);
    p.drawPixmap(a.width() + kWindowGap, 0, b);
    return both;
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
    trend->move(window->frameGeometry().right() + kWindowGap, 0);
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

} // namespace

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

    // Signals end the event loop, so that the clean-up below runs.
    SignalEvents quitOnSignal;
    QObject::connect(&quitOnSignal, &SignalEvents::received, QCoreApplication::instance(), &QCoreApplication::quit);
    QTemporaryDir firmwareDir(QDir::temp().filePath(QStringLiteral("korvex-demo-firmware-XXXXXX")));
    TiedProcess sim;
    const QStringList simExtra = trendShot ? QStringList{QStringLiteral("--speed"), QStringLiteral("20"),
                                                         QStringLiteral("--fan-stuck"), QStringLiteral("3")}
                                           : QStringList();
    const QString simPort = startSimulator(sim, firmwareDir.path(), simExtra);
    if (simPort.isEmpty()) {
        std::fprintf(stderr, "korvex-demo: the simulator did not start\n");
        stopSimulator(sim);
        return ExitCode::DemoFailed;
    }
    std::printf("korvex-demo: simulated laser on %s\n", qPrintable(simPort));
    std::printf("korvex-demo: firmware sent from the update window lands in %s\n", qPrintable(firmwareDir.path()));
    std::fflush(stdout);

    auto *window = new AdminWd;
    window->show();
    auto *dialog = window->findChild<CommSet *>();
    dialog->setExtraPorts({simPort});
    dialog->refreshPortList();
    window->findChild<UpdateWidget *>()->setExtraPorts({simPort});

    const bool factoryShot = parser.isSet(factory);
    if (factoryShot && !enterFactoryMode(window)) {
        std::fprintf(stderr, "korvex-demo: factory mode did not unlock\n");
        closeWindow(window);
        stopSimulator(sim);
        return ExitCode::DemoFailed;
    }
    TrendWd *trendWindow = trendShot ? openTrendBeside(window) : nullptr;
    auto *pidWindow = window->findChild<QMainWindow *>(QStringLiteral("PidAdjust"));
    auto *pidLines = pidWindow->findChild<QTextEdit *>(QStringLiteral("textEditShowTemp"));

    const QString shotFile = parser.value(screenshot);
    if (parser.isSet(autoOpen) || !shotFile.isEmpty()) {
        QTimer::singleShot(300, dialog, [dialog] {
            dialog->findChild<QPushButton *>(QStringLiteral("switchSerial"))->click();
        });
    }

    int exitCode = ExitCode::Done;
    if (!shotFile.isEmpty()) {
        // Live data: the firmware version field is filled by the first
        // status reply; a few more polls settle every field and lamp.
        auto *version = window->findChild<QLineEdit *>(QStringLiteral("SoftVersion"));
        auto *waited = new QElapsedTimer;
        waited->start();
        auto *poll = new QTimer(&app);
        QObject::connect(poll, &QTimer::timeout, [&, version, waited, poll] {
            static qint64 dataSince = -1;
            if (dataSince < 0 && !version->text().isEmpty()) {
                dataSince = waited->elapsed();
                if (factoryShot || trendShot)
                    driveTecByHand(window);
            }
            bool settled = dataSince >= 0 && waited->elapsed() - dataSince >= 1500 && waited->elapsed() >= 3000;
            // The PID window gets a line each second; a handful shows the
            // temperature falling under the manual TEC drive.
            if (factoryShot)
                settled = settled && sampleCount(pidLines) >= 8;
            // The laser temperature curve bends visibly under the manual
            // drive, and enough polls for a fan alarm span.
            if (trendWindow)
                settled = settled && trendWindow->samples().size() >= 40 && laserTempSwing(trendWindow->samples()) >= 3.0;
            const bool gaveUp = waited->elapsed() > (trendWindow ? 60000 : 30000);
            if (!settled && !gaveUp)
                return;
            poll->stop();
            if (gaveUp) {
                std::fprintf(stderr, "korvex-demo: no live data (or no trend) in time\n");
                exitCode = ExitCode::DemoFailed;
            }
            if (trendWindow)
                pointAtBend(trendWindow);
            const QPixmap picture = trendWindow ? sideBySide(window, trendWindow)
                                    : factoryShot ? sideBySide(window, pidWindow) : window->grab();
            if (!picture.save(shotFile, "PNG")) {
                std::fprintf(stderr, "korvex-demo: cannot write %s\n", qPrintable(shotFile));
                exitCode = ExitCode::DemoFailed;
            } else {
                std::printf("korvex-demo: saved %s\n", qPrintable(shotFile));
                if (factoryShot)
                    std::printf("korvex-demo: the PID window shows %d status lines\n", sampleCount(pidLines));
                if (trendWindow)
                    std::printf("korvex-demo: the trend window holds %d samples, the laser temperature moved %.1f C\n",
                                trendWindow->samples().size(), laserTempSwing(trendWindow->samples()));
            }
            delete waited;
            QCoreApplication::exit(exitCode);
        });
        poll->start(100);
    }

    const int loopCode = app.exec();
    closeWindow(window);
    stopSimulator(sim);
    return exitCode ? exitCode : loopCode;
}
