// korvexctl: the device link from the command line (see korvexctl --help).

#include "Console.h"
#include "ExitCode.h"
#include "KorvexCtl.h"
#include "SignalEvents.h"

#include <QCoreApplication>

#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvexctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVEX_VERSION));
    // SIGINT and SIGTERM only note the request: the running command sees it
    // before its next frame and stops cleanly.
    SignalEvents signalEvents;
    KorvexCtl::setStderrIsTerminal(::isatty(STDERR_FILENO) == 1);
    KorvexCtl ctl;
    const int code = ctl.run(app.arguments().mid(1));
    // A result that never reached its reader is no success (set -e scripts).
    QString why;
    if (!Console::outputWritten(&why)) {
        Console::error(QStringLiteral("cannot write the results to stdout: %1").arg(why));
        return code == ExitCode::Done ? ExitCode::Failed : code;
    }
    return code;
}
