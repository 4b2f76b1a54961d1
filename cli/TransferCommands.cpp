// korvexctl send / receive: one YModem transfer, exactly as korvex-ymodem
// does it (the same code, its progress lines and exit codes).

#include "Console.h"
#include "CtlCommands.h"
#include "ExitCode.h"
#include "KorvexCtl.h"
#include "YmodemCli.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>


namespace {

int runTransfer(CtlContext &ctx, bool send)
{
    if (ctx.args.size() != 1)
        return badArguments(send ? QStringLiteral("usage: korvexctl --port NAME send FILE")
                                 : QStringLiteral("usage: korvexctl --port NAME receive DIR"));
    const YmodemCli::Options options = YmodemCli::parseArguments(
        {send ? QStringLiteral("send") : QStringLiteral("receive"), QStringLiteral("--port"), LineSettings::openableName(ctx.line.port()),
         QStringLiteral("--baud"), QString::number(ctx.line.baud), ctx.args.at(0)});
    if (!options.error.isEmpty())
        return badArguments(options.error);
    const bool json = ctx.isSet("json");
    YmodemCli cli(stderr, KorvexCtl::stderrIsTerminal());
    // The result goes to stdout as every command's does; progress and
    // failures to stderr, all under korvexctl's name.
    cli.setOutput(QStringLiteral("korvexctl"), json ? nullptr : stdout);
    // Ctrl-C reaches the transfer as korvex-ymodem's stop request.
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, &cli, [&cli] {
        if (KorvexCtl::stopRequested().load())
            cli.requestStop();
    });
    stopWatch.start(20);
    QElapsedTimer clock;
    clock.start();
    const int code = cli.run(options);
    if (json) {
        const YmodemCli::Outcome &done = cli.outcome();
        QJsonObject o{{QStringLiteral("command"), send ? QStringLiteral("send") : QStringLiteral("receive")},
                      {QStringLiteral("port"), ctx.line.port()},
                      {QStringLiteral("file"), send ? ctx.args.at(0) : done.path},
                      {QStringLiteral("bytes"), double(done.bytes)},
                      {QStringLiteral("seconds"), clock.elapsed() / 1000.0},
                      {QStringLiteral("result"), code == ExitCode::Done ? QStringLiteral("ok") : QStringLiteral("failed")},
                      {QStringLiteral("message"), done.text},
                      {QStringLiteral("exit_code"), code}};
        Console::out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
    }
    return code;
}

void jsonOption(QCommandLineParser &p)
{
    p.addOption({QStringLiteral("json"), QStringLiteral("Print one JSON object: command, port, file, bytes, seconds, "
                                                        "result (ok|failed), message, exit_code.")});
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
        "korvex-ymodem send does; progress on stderr, the result (\"korvexctl: sent NAME\n"
        "(N bytes)\") on stdout. 8N1 at --baud (default 19200). A plain empty file can be sent.");
    send.baudRates = CtlArgs::transferBaudRates();
    send.eightN1 = true;
    send.addOptions = jsonOption;
    send.run = [](CtlContext &ctx) { return runTransfer(ctx, true); };

    CtlCommand receive;
    receive.name = QStringLiteral("receive");
    receive.summary = QStringLiteral("receive a file by YModem");
    receive.usage = QStringLiteral("receive DIR");
    receive.description = QStringLiteral(
        "Receives one file by YModem into DIR, as korvex-ymodem receive does; the file\n"
        "appears only once all its announced bytes arrived; the result (\"korvexctl:\n"
        "received PATH (N bytes)\") on stdout, progress on stderr.");
    receive.baudRates = CtlArgs::transferBaudRates();
    receive.eightN1 = true;
    receive.addOptions = jsonOption;
    receive.run = [](CtlContext &ctx) { return runTransfer(ctx, false); };
    return {send, receive};
}
