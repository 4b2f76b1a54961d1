#include "AdminWd.h"
#include "PlCommand.h"
#include "QtChinese.h"

#include <QApplication>
#include <QPointer>
#include <QThread>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QtChinese::install(&app);
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
