// korvex-ymodem: send or receive one file over a serial port with YModem.

#include "ExitCode.h"
#include "YmodemCli.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

// The handler only sets this flag; the transfer's event loop looks at it.
static volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int)
{
    g_interrupted = 1;
}

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
    cli.setStopFlag(&g_interrupted);
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    return cli.run(options);
}
