// korvexctl send / receive: one YModem transfer, exactly as korvex-ymodem
// does it (the same code, its progress lines and exit codes).

#include "CtlCommands.h"
#include "KorvexCtl.h"
#include "YmodemCli.h"

#include <QTimer>


namespace {

int runTransfer(CtlContext &ctx, bool send)
{
    if (ctx.args.size() != 1)
        return badArguments(send ? QStringLiteral("usage: korvexctl --port NAME send FILE")
                                 : QStringLiteral("usage: korvexctl --port NAME receive DIR"));
    const YmodemCli::Options options = YmodemCli::parseArguments(
        {send ? QStringLiteral("send") : QStringLiteral("receive"), QStringLiteral("--port"), ctx.line.port(),
         QStringLiteral("--baud"), QString::number(ctx.line.baud), ctx.args.at(0)});
    if (!options.error.isEmpty())
        return badArguments(options.error);
    YmodemCli cli(stderr, KorvexCtl::stderrIsTerminal());
    // Ctrl-C reaches the transfer as korvex-ymodem's stop request.
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, &cli, [&cli] {
        if (KorvexCtl::stopRequested().load())
            cli.requestStop();
    });
    stopWatch.start(20);
    return cli.run(options);
}

} // namespace

QVector<CtlCommand> transferCommands()
{
    CtlCommand send;
    send.name = QStringLiteral("send");
    send.summary = QStringLiteral("send a file by YModem");
    send.usage = QStringLiteral("send FILE");
    send.description = QStringLiteral(
        "Sends FILE by YModem (CRC-16, 1024-byte blocks) to the device's boot loader, as\n"
        "korvex-ymodem send does; progress on stderr. 8N1 at --baud (default 19200).");
    send.baudRates = CtlArgs::transferBaudRates();
    send.run = [](CtlContext &ctx) { return runTransfer(ctx, true); };

    CtlCommand receive;
    receive.name = QStringLiteral("receive");
    receive.summary = QStringLiteral("receive a file by YModem");
    receive.usage = QStringLiteral("receive DIR");
    receive.description = QStringLiteral(
        "Receives one file by YModem into DIR, as korvex-ymodem receive does; the file\n"
        "appears only once all its announced bytes arrived.");
    receive.baudRates = CtlArgs::transferBaudRates();
    receive.run = [](CtlContext &ctx) { return runTransfer(ctx, false); };
    return {send, receive};
}
