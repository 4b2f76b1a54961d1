#include "AdminWd.h"
#include "ExitCode.h"
#include "Language.h"
#include "PlCommand.h"
#include "ScreenScaling.h"

#include <QApplication>
#include <QPointer>
#include <QThread>

#include <cstdio>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    bool langOk = true;
    const QString langOption = Language::fromArguments(arguments, &langOk);
    if (!langOk) {
        std::fprintf(stderr, "korvex: --lang takes en or zh\n");
        return ExitCode::BadArguments;
    }

    enableScreenScaling();
    QApplication app(argc, argv);
    Language::install(&app, Language::choose(langOption));
    QPointer<QThread> worker;
    int code = 0;
    {
        AdminWd window;
        worker = window.executor()->workerThread();
        window.show();
        code = app.exec();
    }
    // The window's destructor leaves the executor to be deleted on its own
    // thread, which closes the device port and ends that thread; let that
    // happen before the process goes away.
    if (worker)
        worker->wait(3000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return code;
}
