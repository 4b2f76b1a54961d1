// korvex-demo: the Korvex main window against the simulated laser.
//
// Starts korvex-sim (found beside this program) on a pseudo-terminal, shows
// the same main window as korvex and offers the simulated port first in the
// serial settings dialog and in the update window. The simulator's boot
// loader saves firmware images sent from the update window in a temporary
// directory, named on start. The simulator is stopped on exit.
//
//   korvex-demo                       choose the port and press 确定 yourself
//   korvex-demo --auto-open           open the simulated port at once
//   korvex-demo --screenshot FILE     open it, wait for live data, save a
//                                     picture of the main window, exit

#include "AdminWd.h"
#include "CommSet.h"
#include "PlCommand.h"
#include "UpdateWidget.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {

// Starts the simulator and returns the pty path it announces ("" on failure).
QString startSimulator(QProcess &sim, const QString &firmwareDir)
{
    const QString program = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("korvex-sim"));
    if (!QFileInfo(program).isExecutable()) {
        std::fprintf(stderr, "korvex-demo: %s not found\n", qPrintable(program));
        return QString();
    }
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Its boot loader takes firmware images sent from the update window.
    sim.start(program, {QStringLiteral("--pty"), QStringLiteral("--firmware-dir"), firmwareDir});
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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvex-demo"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Korvex main window against the simulated laser"));
    parser.addHelpOption();
    QCommandLineOption autoOpen(QStringLiteral("auto-open"), QStringLiteral("Open the simulated port at once."));
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Open the simulated port, save a picture of the main window "
                                                 "once live data are shown, and exit."),
                                  QStringLiteral("file"));
    parser.addOption(autoOpen);
    parser.addOption(screenshot);
    parser.process(app);

    QTemporaryDir firmwareDir(QDir::temp().filePath(QStringLiteral("korvex-demo-firmware-XXXXXX")));
    QProcess sim;
    const QString simPort = startSimulator(sim, firmwareDir.path());
    if (simPort.isEmpty()) {
        std::fprintf(stderr, "korvex-demo: the simulator did not start\n");
        stopSimulator(sim);
        return 1;
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

    const QString shotFile = parser.value(screenshot);
    if (parser.isSet(autoOpen) || !shotFile.isEmpty()) {
        QTimer::singleShot(300, dialog, [dialog] {
            dialog->findChild<QPushButton *>(QStringLiteral("switchSerial"))->click();
        });
    }

    int exitCode = 0;
    if (!shotFile.isEmpty()) {
        // Live data: the firmware version field is filled by the first
        // status reply; a few more polls settle every field and lamp.
        auto *version = window->findChild<QLineEdit *>(QStringLiteral("SoftVersion"));
        auto *waited = new QElapsedTimer;
        waited->start();
        auto *poll = new QTimer(&app);
        QObject::connect(poll, &QTimer::timeout, [&, version, waited, poll] {
            static qint64 dataSince = -1;
            if (dataSince < 0 && !version->text().isEmpty())
                dataSince = waited->elapsed();
            const bool settled = dataSince >= 0 && waited->elapsed() - dataSince >= 1500 && waited->elapsed() >= 3000;
            const bool gaveUp = waited->elapsed() > 20000;
            if (!settled && !gaveUp)
                return;
            poll->stop();
            if (gaveUp) {
                std::fprintf(stderr, "korvex-demo: no live data within 20 s\n");
                exitCode = 1;
            }
            if (!window->grab().save(shotFile, "PNG")) {
                std::fprintf(stderr, "korvex-demo: cannot write %s\n", qPrintable(shotFile));
                exitCode = 1;
            } else {
                std::printf("korvex-demo: saved %s\n", qPrintable(shotFile));
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
