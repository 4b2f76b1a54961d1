// Headless stand-in for the main window in long runs: starts korvex-sim on a
// pseudo-terminal, opens it through the command executor and polls the full
// status every 500 ms and the PID values every second, as the window does
// with the PID window shown, until SIGINT or SIGTERM. Prints a line of
// counts every minute.

#include "PlCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {
volatile std::sig_atomic_t stopRequested = 0;
void requestStop(int) { stopRequested = 1; }
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);

    QProcess sim;
    const QString simProgram = QDir(app.applicationDirPath()).filePath(QStringLiteral("../../korvex-sim"));
    sim.start(simProgram, {QStringLiteral("--pty")});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "longrun_poller: cannot start %s\n", qPrintable(simProgram));
        return 1;
    }
    const QString pty = QString::fromLocal8Bit(sim.readLine()).trimmed();

    auto *pl = new PlCommand;
    quint64 good = 0, bad = 0, pid = 0;
    QObject::connect(pl, &PlCommand::readCmdResult, &app, [&](quint8 result, QByteArray reply) {
        if (result != 0)
            ++bad;
        else if (reply.size() > 2 && quint8(reply[1]) == 0xA1)
            ++pid;
        else
            ++good;
    });
    QMetaObject::invokeMethod(pl, "turnOnSpcomm", Qt::QueuedConnection,
                              Q_ARG(QVector<QString>, QVector<QString>({pty, "115200", "1", "无"})));

    QTimer poll;
    int tick = 0;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (stopRequested) {
            app.quit();
            return;
        }
        QMetaObject::invokeMethod(pl, "queryAllStatParam", Qt::QueuedConnection);
        if (++tick % 2 == 0)
            QMetaObject::invokeMethod(pl, "queryPidParam", Qt::QueuedConnection);
        if (tick % 120 == 0) {
            std::printf("longrun_poller: %llu status, %llu PID, %llu failed\n", (unsigned long long)good,
                        (unsigned long long)pid, (unsigned long long)bad);
            std::fflush(stdout);
        }
    });
    poll.start(500);
    app.exec();

    delete pl; // from this thread: stops the worker first, then closes the port
    sim.terminate();
    sim.waitForFinished(3000);
    return 0;
}
