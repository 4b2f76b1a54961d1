#include "YmodemCli.h"

#include "ExitCode.h"
#include "LineSettings.h"
#include "YmodemFileReceive.h"
#include "YmodemFileTransmit.h"
#include "YmodemHeader.h"
#include "OptionErrors.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

YmodemCli::Options YmodemCli::parseArguments(const QStringList &arguments)
{
    Options o;
    QCommandLineParser p;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show the help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Serial port."), QStringLiteral("NAME"));
    const QCommandLineOption baud(QStringLiteral("baud"), QStringLiteral("Baud rate."), QStringLiteral("N"));
    p.addOptions({help, version, port, baud});
    if (!p.parse(QStringList{QStringLiteral("korvex-ymodem")} + arguments)) {
        o.error = optionError(p);
        return o;
    }
    o.help = p.isSet(help);
    o.version = p.isSet(version);
    if (o.help || o.version)
        return o;
    o.port = p.value(port);
    if (p.isSet(baud)) {
        bool ok = false;
        const QString value = p.value(baud);
        const int rate = value.toInt(&ok, 10);
        if (!ok || rate < 50 || rate > 4000000) {
            o.error = QStringLiteral("baud rate \"%1\" is not a number between 50 and 4000000").arg(value);
            return o;
        }
        o.baud = rate;
    }
    QStringList positional = p.positionalArguments();
    if (positional.isEmpty()) {
        o.error = QStringLiteral("missing command: send or receive");
        return o;
    }
    const QString command = positional.takeFirst();
    if (command == QLatin1String("send")) {
        o.send = true;
    } else if (command != QLatin1String("receive")) {
        o.error = QStringLiteral("unknown command \"%1\" (send or receive)").arg(command);
        return o;
    }
    if (o.port.isEmpty()) {
        o.error = QStringLiteral("missing --port NAME");
        return o;
    }
    if (positional.size() != 1) {
        o.error = o.send ? QStringLiteral("send takes exactly one FILE")
                         : QStringLiteral("receive takes exactly one DIR");
        return o;
    }
    o.path = positional.first();
    const QFileInfo info(o.path);
    if (o.send && !(info.isFile() && info.isReadable()))
        o.error = QStringLiteral("\"%1\" is not a readable file").arg(o.path);
    else if (!o.send && !(info.isDir() && info.isWritable()))
        o.error = QStringLiteral("\"%1\" is not a writable directory").arg(o.path);
    return o;
}

QString YmodemCli::usage()
{
    return QStringLiteral(
        "Usage:\n"
        "  korvex-ymodem send    --port NAME [--baud N] FILE\n"
        "  korvex-ymodem receive --port NAME [--baud N] DIR\n"
        "  korvex-ymodem --help | --version\n"
        "\n"
        "Sends one file to, or receives one file from, a serial port with YModem\n"
        "(CRC-16, 128/1024-byte blocks, 8N1, no flow control). --baud defaults to 115200.\n"
        "A received file appears in DIR only once all its announced bytes arrived.\n"
        "\n"
        "Exit codes: 0 finished, 2 bad arguments, 3 aborted (by the peer or Ctrl-C),\n"
        "4 timed out (no peer answered), 5 failed, 6 port could not be opened.\n");
}

int YmodemCli::exitCodeFor(int status)
{
    switch (status) {
    case YmodemFileTransmit::StatusFinished: return ExitCode::Done;
    case YmodemFileTransmit::StatusAborted: return ExitCode::Aborted;
    case YmodemFileTransmit::StatusTimedOut: return ExitCode::NoReply;
    default: return ExitCode::Failed;
    }
}

QString YmodemCli::progressText(bool send, const QString &name, int percent, quint64 done, quint64 total)
{
    return QStringLiteral("%1 %2: %3% (%4 of %5 bytes)")
        .arg(send ? QStringLiteral("sending") : QStringLiteral("receiving"), name)
        .arg(percent)
        .arg(done)
        .arg(total);
}

YmodemCli::YmodemCli(FILE *err, bool interactive, QObject *parent)
    : QObject(parent), err(err), interactive(interactive)
{
}

void YmodemCli::requestStop() { stopWanted = true; }

// Every text shown passes through here or showProgress: names and reasons
// may carry what a peer sent, so control characters are shown escaped.
void YmodemCli::printLine(const QString &raw)
{
    const QString text = YmodemHeader::printable(raw);
    emit message(text);
    if (!err)
        return;
    if (lineOpen)
        std::fputs("\n", err);
    lineOpen = false;
    std::fprintf(err, "%s: %s\n", linePrefix.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    std::fflush(err);
}

void YmodemCli::finish(bool finished, const QString &text, quint64 bytes, const QString &path)
{
    last = Outcome{finished, text, bytes, path};
    if (!finished || !resultOut) {
        printLine(text);
        return;
    }
    emit message(text);
    if (err && lineOpen)
        std::fputs("\n", err);
    lineOpen = false;
    std::fprintf(resultOut, "%s: %s\n", linePrefix.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    std::fflush(resultOut);
}

void YmodemCli::showProgress(int percent, quint64 done, quint64 total)
{
    if (percent == lastPercent)
        return;
    lastPercent = percent;
    emit progress(percent, done, total);
    if (!err)
        return;
    const QByteArray text = YmodemHeader::printable(progressText(sending, shownName, percent, done, total)).toLocal8Bit();
    if (interactive) {
        std::fprintf(err, "\r%s\033[K", text.constData());
        lineOpen = true;
    } else {
        std::fprintf(err, "%s\n", text.constData());
    }
    std::fflush(err);
}

int YmodemCli::run(const Options &o)
{
    sending = o.send;
    last = Outcome();
    QEventLoop loop;
    int code = ExitCode::Failed;
    QTimer stopWatch; // Ctrl-C arrives as a flag; it is turned into a stop here
    stopWatch.setInterval(50);
    const auto stopAsked = [this] { return stopWanted || (stopFlag && *stopFlag != 0); };
    lastPercent = -1;
    lineOpen = false;

    if (o.send) {
        YmodemFileTransmit t;
        t.setSourceFile(o.path);
        t.setPort(LineSettings::openableName(o.port));
        t.setBaud(o.baud);
        t.setStepOnArrival(o.stepOnArrival);
        shownName = QFileInfo(o.path).fileName();
        connect(&t, &YmodemFileTransmit::transmitProgress, this,
                [&](int p) { showProgress(p, t.transferredBytes(), t.totalBytes()); });
        connect(&t, &YmodemFileTransmit::transmitStatus, this, [&](YmodemFileTransmit::Status s) {
            if (s == YmodemFileTransmit::StatusStarted || s == YmodemFileTransmit::StatusTransferring)
                return;
            code = exitCodeFor(s);
            if (s == YmodemFileTransmit::StatusFinished)
                finish(true, QStringLiteral("sent %1 (%2 bytes)").arg(shownName).arg(t.totalBytes()), t.totalBytes(), o.path);
            else
                finish(false, QStringLiteral("send failed: %1").arg(t.failureReason()), t.transferredBytes(), o.path);
            loop.quit();
        });
        connect(&stopWatch, &QTimer::timeout, this, [&] {
            if (stopAsked())
                t.stopTransfer();
        });
        if (!t.startTransfer()) {
            printLine(QStringLiteral("cannot open port %1: %2").arg(o.port, t.failureReason()));
            return ExitCode::PortNotOpened;
        }
        printLine(QStringLiteral("waiting for the receiver on %1 at %2 baud").arg(o.port).arg(o.baud));
        stopWatch.start();
        loop.exec();
        return code;
    }

    YmodemFileReceive r;
    r.setTargetDirectory(o.path);
    r.setPort(LineSettings::openableName(o.port));
    r.setBaud(o.baud);
    r.setStepOnArrival(o.stepOnArrival);
    connect(&r, &YmodemFileReceive::receiveStatus, this, [&](YmodemFileReceive::Status s) {
        if (s == YmodemFileReceive::StatusStarted) {
            shownName = r.receivedFileName();
            if (!shownName.isEmpty() && lastPercent < 0)
                printLine(QStringLiteral("receiving %1 (%2 bytes)").arg(shownName).arg(r.totalBytes()));
            return;
        }
        if (s == YmodemFileReceive::StatusTransferring)
            return;
        code = exitCodeFor(s);
        if (s == YmodemFileReceive::StatusFinished)
            finish(true, QStringLiteral("received %1 (%2 bytes)").arg(r.targetPath()).arg(r.totalBytes()), r.totalBytes(),
                   r.targetPath());
        else
            finish(false, QStringLiteral("receive failed: %1").arg(r.failureReason()), r.transferredBytes(), QString());
        loop.quit();
    });
    connect(&r, &YmodemFileReceive::receiveProgress, this,
            [&](int p) { showProgress(p, r.transferredBytes(), r.totalBytes()); });
    connect(&stopWatch, &QTimer::timeout, this, [&] {
        if (stopAsked())
            r.stopTransfer();
    });
    if (!r.startTransfer()) {
        printLine(QStringLiteral("cannot open port %1: %2").arg(o.port, r.failureReason()));
        return ExitCode::PortNotOpened;
    }
    printLine(QStringLiteral("waiting for the sender on %1 at %2 baud").arg(o.port).arg(o.baud));
    stopWatch.start();
    loop.exec();
    return code;
}
