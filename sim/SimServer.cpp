#include "SimServer.h"

#include "SimBootLoader.h"
#include "SimLine.h"

#include <QTimer>

#include <cstdio>

SimServer::SimServer(SimLine *line, SimDevice *device, const SimFaults::Settings &faults, const Settings &settings,
                     QObject *parent)
    : QObject(parent), deviceLine(line), simDevice(device), faultPlan(faults), serverSettings(settings),
      gapTimer(new QTimer(this)), sendTimer(new QTimer(this)), chatterTimer(new QTimer(this))
{
    gapTimer->setSingleShot(true);
    gapTimer->setInterval(settings.gapMs);
    gapTimer->setTimerType(Qt::PreciseTimer);
    sendTimer->setSingleShot(true);
    sendTimer->setTimerType(Qt::PreciseTimer);
    connect(gapTimer, &QTimer::timeout, this, [this] { processFrames(true); });
    connect(sendTimer, &QTimer::timeout, this, [this] { sendDue(); });
    connect(deviceLine, &SimLine::received, this, &SimServer::onReceived);
    clock.start();
    if (settings.chatterMs > 0) {
        // Written whole between replies (a reply's pieces are single writes).
        chatterTimer->setInterval(settings.chatterMs);
        chatterTimer->setTimerType(Qt::PreciseTimer);
        connect(chatterTimer, &QTimer::timeout, this, [this] { deviceLine->write(QByteArray(1, '.')); });
        chatterTimer->start();
    }
}

bool SimServer::start(QString *error)
{
    for (QFile *log : {&frameLog, &faultLog}) {
        const QString path = log == &frameLog ? serverSettings.logPath : serverSettings.faultLogPath;
        if (path.isEmpty())
            continue;
        log->setFileName(path);
        if (!log->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            *error = QStringLiteral("cannot write the log %1: %2").arg(path, log->errorString());
            return false;
        }
    }
    return true;
}

QString SimServer::hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

void SimServer::trace(const QString &line)
{
    if (serverSettings.verbose) {
        std::fprintf(stderr, "korvex-sim: %s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    }
}

void SimServer::onReceived(const QByteArray &received)
{
    const QByteArray bytes = bootLoader ? bootLoader->filter(received) : received;
    if (bytes.isEmpty())
        return;
    reader.append(bytes);
    processFrames(false);
    if (reader.pending() > 0)
        gapTimer->start();
}

void SimServer::processFrames(bool lineQuiet)
{
    const QList<QByteArray> frames = reader.takeFrames(lineQuiet);
    const QByteArray dropped = reader.takeDropped();
    if (!dropped.isEmpty())
        trace(QStringLiteral("dropped %1").arg(hex(dropped)));
    for (const QByteArray &frame : frames)
        serve(frame);
}

void SimServer::catchUpTime()
{
    const qint64 now = clock.elapsed();
    simCarryMs += double(now - lastAdvanceMs) * serverSettings.speed;
    lastAdvanceMs = now;
    const qint64 whole = qint64(simCarryMs);
    simCarryMs -= double(whole);
    simDevice->advance(whole);
}

void SimServer::serve(const QByteArray &frame)
{
    if (frameLog.isOpen()) {
        frameLog.write(hex(frame).toLatin1() + '\n');
        frameLog.flush();
    }
    trace(QStringLiteral("request %1").arg(hex(frame)));

    catchUpTime();
    const QByteArray reply = simDevice->handleRequest(frame);
    const QList<SimFaults::Chunk> chunks = faultPlan.plan(reply);
    if (faultLog.isOpen()) {
        faultLog.write(hex(frame).remove(' ').toLatin1() + ' ' + faultPlan.lastFate() + '\n');
        faultLog.flush();
    }
    if (chunks.isEmpty()) {
        trace(QStringLiteral("no reply"));
        return;
    }
    const qint64 now = clock.elapsed();
    qint64 due = qMax(now, lastDueMs);
    for (int i = 0; i < chunks.size(); ++i) {
        due += chunks[i].pauseMs;
        outbox.append({due, chunks[i].bytes, i == chunks.size() - 1});
    }
    lastDueMs = due;
    sendDue();
}

void SimServer::sendDue()
{
    const qint64 now = clock.elapsed();
    while (!outbox.isEmpty() && outbox.first().dueMs <= now) {
        const Pending p = outbox.takeFirst();
        deviceLine->write(p.bytes);
        trace(QStringLiteral("reply %1").arg(hex(p.bytes)));
        if (p.endsReply)
            simDevice->noteReplySent();
    }
    if (!outbox.isEmpty())
        sendTimer->start(int(qMax<qint64>(0, outbox.first().dueMs - now)));
}
