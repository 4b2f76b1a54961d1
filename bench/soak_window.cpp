// The main window for the watch soak: builds the window as the program does
// (offscreen unless a display is asked for), opens the port named on the
// command line through the executor the way "串口设置" does (so a lost port
// is waited for and reopened), and prints every log-pane line with its time
// to stdout until SIGTERM or SIGINT. bench/watch_soak.sh counts the lines.
//   korvex-soak-window PORT

#include "AdminWd.h"
#include "LogPane.h"
#include "PlCommand.h"

#include <QAction>
#include <QApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {
volatile std::sig_atomic_t stopRequested = 0;
void requestStop(int) { stopRequested = 1; }

// "2026-12-08T11:52:27.123<TAB>port<TAB>text", one line per entry.
void printEntry(const LogPane::Entry &entry)
{
    std::printf("%s\t%s\t%s\n", qPrintable(entry.time.toString(Qt::ISODateWithMs)),
                qPrintable(entry.port.isEmpty() ? QStringLiteral("-") : entry.port),
                qPrintable(entry.text.trimmed()));
    std::fflush(stdout);
}
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvex-soak-window PORT\n");
        return 2;
    }
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
    const QVector<QString> settings({QString::fromLocal8Bit(argv[1]), "115200", "1", "无"});

    auto *window = new AdminWd;
    window->show();
    // The soak counts reconnects, so the option is on whatever was remembered.
    if (auto *autoReconnect = window->findChild<QAction *>(QStringLiteral("actionAutoReconnect")))
        autoReconnect->setChecked(true);
    window->notePortChosen(settings);
    QMetaObject::invokeMethod(window->executor(), "turnOnSpcomm", Qt::QueuedConnection,
                              Q_ARG(QVector<QString>, settings));

    // The pane keeps only its newest lines; the log's entries are all kept.
    const LogPane *log = window->findChild<LogPane *>();
    int printed = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &app, [&] {
        for (; log && printed < log->entries().size(); ++printed)
            printEntry(log->entries().at(printed));
        if (stopRequested)
            app.quit();
    });
    tick.start(100);
    app.exec();

    QPointer<QThread> worker = window->executor()->workerThread();
    delete window;
    if (worker)
        worker->wait(5000);
    return 0;
}
