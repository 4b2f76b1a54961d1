// korvex-ymodem: send or receive one file over a serial port with YModem.

#include "ExitCode.h"
#include "SignalEvents.h"
#include "YmodemCli.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const YmodemCli::Options options = YmodemCli::parseArguments(app.arguments().mid(1));
    if (options.version) {
        std::printf("korvex-ymodem %s\n", KORVEX_VERSION);
        return ExitCode::Done;
    }
    if (options.help) {
        std::fputs(YmodemCli::usage().toLocal8Bit().constData(), stdout);
        return ExitCode::Done;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "korvex-ymodem: %s\n\n%s", options.error.toLocal8Bit().constData(),
                     YmodemCli::usage().toLocal8Bit().constData());
        return ExitCode::BadArguments;
    }
    YmodemCli cli(stderr, ::isatty(STDERR_FILENO) == 1);
    // Ctrl-C, SIGTERM or a closed terminal stop the transfer: the peer gets
    // the cancel burst, the exit code is Aborted.
    SignalEvents stopOnSignal;
    QObject::connect(&stopOnSignal, &SignalEvents::received, &cli, &YmodemCli::requestStop);
    return cli.run(options);
}
