#include "FlashCommand.h"

#include "Console.h"
#include "CtlCommands.h"
#include "ExitCode.h"
#include "KorvexCtl.h"
#include "LineOptions.h"
#include "PortCheck.h"
#include "YmodemCli.h"
#include "YmodemFileTransmit.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <memory>
#include <vector>

FlashCommand::FlashCommand(const QString &image, const QStringList &ports, int baud, FILE *progress, bool interactive)
    : imagePath(image), portNames(ports), baudRate(baud), progressOut(progress), progressIsTerminal(interactive)
{
}

void FlashCommand::drawLines(const QVector<YmodemFileTransmit *> &transfers, bool final)
{
    if (progressIsTerminal) {
        // Redraw the block of lines in place: up, then each line anew.
        if (drawn)
            std::fprintf(progressOut, "\033[%dA", int(transfers.size()));
        for (int i = 0; i < transfers.size(); ++i) {
            const PortResult &r = portResults.at(i);
            const QString state = r.exitCode < 0
                                      ? QStringLiteral("%1% (%2 of %3 bytes)")
                                            .arg(transfers.at(i)->totalBytes() ? int(transfers.at(i)->transferredBytes() * 100
                                                                                       / transfers.at(i)->totalBytes())
                                                                               : 0)
                                            .arg(transfers.at(i)->transferredBytes())
                                            .arg(transfers.at(i)->totalBytes())
                                      : r.result;
            std::fprintf(progressOut, "\r%s: %s\033[K\n", r.port.toLocal8Bit().constData(), state.toLocal8Bit().constData());
        }
        drawn = true;
        std::fflush(progressOut);
        return;
    }
    // Not a terminal: one line per port at each quarter and at its end.
    for (int i = 0; i < transfers.size(); ++i) {
        const PortResult &r = portResults.at(i);
        const quint64 total = transfers.at(i)->totalBytes();
        const int percent = total ? int(transfers.at(i)->transferredBytes() * 100 / total) : 0;
        const int shown = r.exitCode >= 0 ? 1000 : percent / 25 * 25;
        if (shown == shownPercent.at(i) || (r.exitCode < 0 && final))
            continue;
        shownPercent[i] = shown;
        const QString text = r.exitCode >= 0 ? r.result : QStringLiteral("%1%").arg(shown);
        std::fprintf(progressOut, "%s: %s\n", r.port.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    }
    std::fflush(progressOut);
}

int FlashCommand::run()
{
    QEventLoop loop;
    std::vector<std::unique_ptr<YmodemFileTransmit>> owned;
    QVector<YmodemFileTransmit *> transfers;
    QVector<QElapsedTimer> clocks(portNames.size());
    QVector<bool> asked(portNames.size(), false);    // the boot loader asked for the image
    QVector<bool> timedOut(portNames.size(), false); // it never did within the start timeout
    portResults.clear();
    shownPercent = QVector<int>(portNames.size(), -1);
    int running = 0;

    for (int i = 0; i < portNames.size(); ++i) {
        owned.push_back(std::make_unique<YmodemFileTransmit>());
        YmodemFileTransmit *t = owned.back().get();
        transfers.append(t);
        PortResult r;
        r.port = portNames.at(i);
        portResults.append(r);
        t->setSourceFile(imagePath);
        t->setPort(LineSettings::openableName(portNames.at(i)));
        t->setBaud(baudRate);
        // Command-line transfers step as soon as the boot loader answers.
        t->setStepOnArrival(true);
        QObject::connect(t, &YmodemFileTransmit::transmitStatus, &loop, [&, i, t](YmodemFileTransmit::Status s) {
            // The header goes out when the receiver has asked for it.
            if (s == YmodemFileTransmit::StatusStarted || s == YmodemFileTransmit::StatusTransferring) {
                asked[i] = true;
                return;
            }
            PortResult &res = portResults[i];
            res.exitCode = YmodemCli::exitCodeFor(s);
            res.seconds = clocks[i].elapsed() / 1000.0;
            res.bytes = t->transferredBytes();
            res.result = s == YmodemFileTransmit::StatusFinished
                             ? QStringLiteral("ok")
                             : (t->failureReason().isEmpty() ? QStringLiteral("failed") : t->failureReason());
            if (timedOut.at(i)) {
                res.exitCode = ExitCode::NoReply;
                res.result = QStringLiteral("no boot loader asked for the image within %1 s (is the unit in its boot loader?)")
                                 .arg(startTimeoutS);
            } else if (s != YmodemFileTransmit::StatusFinished && PortCheck::isGone(portNames.at(i))) {
                // The serial library's last error then names an ioctl; what
                // happened is that the boot loader's port went away.
                res.result = QStringLiteral("gone: the port vanished after %1 bytes (unplugged or reset?)").arg(res.bytes);
            }
            if (--running == 0)
                loop.quit();
        });
        clocks[i].start();
        if (!t->startTransfer()) {
            PortResult &res = portResults[i];
            res.exitCode = ExitCode::PortNotOpened;
            res.result = QStringLiteral("port could not be opened");
            continue;
        }
        ++running;
    }

    QTimer ticker; // live lines and Ctrl-C
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        for (int i = 0; i < transfers.size(); ++i) {
            if (portResults.at(i).exitCode >= 0)
                continue;
            const bool late = !asked.at(i) && clocks.at(i).elapsed() >= startTimeoutS * 1000LL;
            if (late)
                timedOut[i] = true;
            if (late || KorvexCtl::stopRequested().load())
                transfers.at(i)->stopTransfer();
        }
        drawLines(transfers, false);
    });
    ticker.start(200);
    if (running > 0)
        loop.exec();
    ticker.stop();
    drawLines(transfers, true);

    int code = ExitCode::Done;
    for (const PortResult &r : qAsConst(portResults)) {
        if (r.exitCode == ExitCode::Done)
            continue;
        if (code == ExitCode::Done)
            code = r.exitCode;
        else if (code != r.exitCode)
            code = ExitCode::Failed;
    }
    return code;
}

QString FlashCommand::table(const QVector<PortResult> &results)
{
    int width = 4;
    for (const PortResult &r : results)
        width = qMax(width, r.port.size());
    QString text = QStringLiteral("%1  %2  %3  %4\n")
                       .arg(QStringLiteral("PORT"), -width)
                       .arg(QStringLiteral("BYTES"), 10)
                       .arg(QStringLiteral("SECONDS"), 8)
                       .arg(QStringLiteral("RESULT"));
    for (const PortResult &r : results)
        text += QStringLiteral("%1  %2  %3  %4\n")
                    .arg(r.port, -width)
                    .arg(r.bytes, 10)
                    .arg(r.seconds, 8, 'f', 1)
                    .arg(r.result);
    return text;
}

CtlCommand flashCommand()
{
    CtlCommand c;
    c.name = QStringLiteral("flash");
    c.summary = QStringLiteral("one firmware image to several boot loaders at once");
    c.usage = QStringLiteral("flash FILE --port A --port B ... [--json]");
    c.description = QStringLiteral(
        "Gang flashing: sends the same firmware image by YModem to the boot loaders on all\n"
        "the given ports at once, one transfer per port. A live line per port on stderr,\n"
        "then a table on stdout: port, bytes, seconds, result. Exits with 0 only when every\n"
        "port succeeded. An empty image is refused before anything is sent, as is one boot\n"
        "loader named twice (a link and its target are one port). A port whose unit does\n"
        "not ask for the image within --start-timeout (not in its boot loader) fails with\n"
        "exit 4; a boot loader that vanishes during the transfer is reported as gone.");
    c.manyPorts = true;
    c.addOptions = [](QCommandLineParser &p) {
        p.addOption({QStringLiteral("json"), QStringLiteral("Instead of the table, one JSON object per port and line: "
                                                            "port, bytes, seconds, result (ok|failed), message, exit_code.")});
        p.addOption({QStringLiteral("start-timeout"),
                     QStringLiteral("How long a boot loader may take to ask for the image, in seconds (default %1); "
                                    "a port whose unit is not in its boot loader fails then (exit 4).")
                         .arg(FlashCommand::DefaultStartTimeoutS),
                     QStringLiteral("S")});
    };
    c.baudRates = CtlArgs::transferBaudRates();
    c.eightN1 = true;
    c.run = [](CtlContext &ctx) {
        if (ctx.args.size() != 1)
            return badArguments(QStringLiteral("usage: korvexctl flash FILE --port A [--port B ...]"));
        const QFileInfo image(ctx.args.at(0));
        if (!image.isFile() || !image.isReadable())
            return badArguments(QStringLiteral("\"%1\" is not a readable file").arg(ctx.args.at(0)));
        // An empty firmware image would leave the unit without firmware.
        if (image.size() == 0)
            return badArguments(QStringLiteral("\"%1\" is empty: not a firmware image").arg(ctx.args.at(0)));
        // Compared by the device they lead to: one boot loader named twice
        // (a link and its target) would get two transfers at once.
        const QStringList twice = PortCheck::repeatedDevices(ctx.line.ports);
        if (!twice.isEmpty())
            return badArguments(QStringLiteral("port %1 is given twice (it leads to a device already named)").arg(twice.first()));
        qint64 startTimeout = FlashCommand::DefaultStartTimeoutS;
        QString error;
        if (ctx.isSet("start-timeout")
            && !CtlArgs::parseInt(ctx.value("start-timeout"), 1, 3600, QStringLiteral("--start-timeout"), &startTimeout, &error))
            return badArguments(error);
        const QStringList ports = ctx.line.ports;
        FlashCommand flash(ctx.args.at(0), ports, ctx.line.baud, stderr, KorvexCtl::stderrIsTerminal());
        flash.setStartTimeout(int(startTimeout));
        const int code = flash.run();
        if (ctx.isSet("json"))
            for (const FlashCommand::PortResult &r : flash.results())
                Console::out(QString::fromUtf8(QJsonDocument(QJsonObject{
                    {QStringLiteral("port"), r.port},
                    {QStringLiteral("bytes"), double(r.bytes)},
                    {QStringLiteral("seconds"), r.seconds},
                    {QStringLiteral("result"), r.exitCode == ExitCode::Done ? QStringLiteral("ok") : QStringLiteral("failed")},
                    {QStringLiteral("message"), r.result},
                    {QStringLiteral("exit_code"), r.exitCode}}).toJson(QJsonDocument::Compact)));
        else
            Console::outText(FlashCommand::table(flash.results()));
        if (code != ExitCode::Done) {
            int failed = 0;
            for (const auto &r : flash.results())
                failed += r.exitCode != ExitCode::Done;
            Console::error(QStringLiteral("flash: %1 of %2 ports failed").arg(failed).arg(ports.size()));
        }
        return code;
    };
    return c;
}
