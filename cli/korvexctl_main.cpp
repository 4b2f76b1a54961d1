// korvexctl: the device link from the command line (see korvexctl --help).

#include "KorvexCtl.h"

#include <QCoreApplication>

#include <csignal>
#include <unistd.h>

extern "C" void onInterrupt(int)
{
    // Only a flag: the running command sees it and stops cleanly.
    KorvexCtl::stopRequested().store(true);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvexctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVEX_VERSION));
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    KorvexCtl::setStderrIsTerminal(::isatty(STDERR_FILENO) == 1);
    KorvexCtl ctl;
    return ctl.run(app.arguments().mid(1));
}
