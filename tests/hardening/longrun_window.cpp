// The whole main window for long runs: starts korvex-sim on a
// pseudo-terminal, builds the main window as the program does, opens the
// simulated port through the executor, unlocks factory mode and opens the
// PID, TEC and fan windows (so the PID poll runs beside the status poll),
// then lives until SIGINT or SIGTERM. scripts/longrun watches it.

#include "AdminWd.h"
#include "PlCommand.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {
volatile std::sig_atomic_t stopRequested = 0;
void requestStop(int) { stopRequested = 1; }
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);

    QProcess sim;
    const QString simProgram = QDir(app.applicationDirPath()).filePath(QStringLiteral("../../korvex-sim"));
    sim.start(simProgram, {QStringLiteral("--pty")});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "longrun_window: cannot start %s\n", qPrintable(simProgram));
        return 1;
    }
    const QString pty = QString::fromLocal8Bit(sim.readLine()).trimmed();

    auto *window = new AdminWd;
    window->show();
    QMetaObject::invokeMethod(window->executor(), "turnOnSpcomm", Qt::QueuedConnection,
                              Q_ARG(QVector<QString>, QVector<QString>({pty, "115200", "1", "无"})));
    // The factory password is the operator's; the long run types it in.
    window->changeUserMode(QString::fromLatin1(qgetenv("KORVEX_FACTORY_PASSWORD")));
    window->openPidAdjust();
    window->openTecDebugWd();
    window->openFanDebugWd();

    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&] {
        if (stopRequested)
            app.quit();
    });
    watch.start(200);
    app.exec();

    QPointer<QThread> worker = window->executor()->workerThread();
    delete window;
    if (worker)
        worker->wait(5000);
    sim.terminate();
    sim.waitForFinished(3000);
    return 0;
}
