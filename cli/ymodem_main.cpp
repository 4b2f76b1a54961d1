// korvex-ymodem: send or receive one file over a serial port with YModem.

#include "YmodemCli.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

static YmodemCli *g_cli = nullptr;

extern "C" void onInterrupt(int)
{
    if (g_cli)
        g_cli->requestStop(); // only sets a flag; the event loop acts on it
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const YmodemCli::Options options = YmodemCli::parseArguments(app.arguments().mid(1));
    if (options.version) {
        std::printf("korvex-ymodem %s\n", KORVEX_VERSION);
        return 0;
    }
    if (options.help) {
        std::fputs(YmodemCli::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "korvex-ymodem: %s\n\n%s", options.error.toLocal8Bit().constData(),
                     YmodemCli::usage().toLocal8Bit().constData());
        return YmodemCli::ExitUsage;
    }
    YmodemCli cli(stderr, ::isatty(STDERR_FILENO) == 1);
    g_cli = &cli;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    const int code = cli.run(options);
    g_cli = nullptr;
    return code;
}
