#include "SimServer.h"

#include "SimBootLoader.h"
#include "SimLine.h"

#include <QTimer>

#include <cstdio>

SimServer::SimServer(SimLine *line, SimDevice *device, const SimFaults::Settings &faults, const Settings &settings,
                     QObject *parent)
    : QObject(parent), m_line(line), m_device(device), m_faults(faults), m_settings(settings),
      m_gapTimer(new QTimer(this)), m_sendTimer(new QTimer(this)), m_chatterTimer(new QTimer(this))
{
    m_gapTimer->setSingleShot(true);
    m_gapTimer->setInterval(settings.gapMs);
    m_gapTimer->setTimerType(Qt::PreciseTimer);
    m_sendTimer->setSingleShot(true);
    m_sendTimer->setTimerType(Qt::PreciseTimer);
    connect(m_gapTimer, &QTimer::timeout, this, [this] { processFrames(true); });
    connect(m_sendTimer, &QTimer::timeout, this, [this] { sendDue(); });
    connect(m_line, &SimLine::received, this, &SimServer::onReceived);
    m_clock.start();
    if (settings.chatterMs > 0) {
        // Written whole between replies (a reply's pieces are single writes).
        m_chatterTimer->setInterval(settings.chatterMs);
        m_chatterTimer->setTimerType(Qt::PreciseTimer);
        connect(m_chatterTimer, &QTimer::timeout, this, [this] { m_line->write(QByteArray(1, '.')); });
        m_chatterTimer->start();
    }
}

bool SimServer::start(QString *error)
{
    for (QFile *log : {&m_log, &m_faultLog}) {
        const QString path = log == &m_log ? m_settings.logPath : m_settings.faultLogPath;
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
    if (m_settings.verbose) {
        std::fprintf(stderr, "korvex-sim: %s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    }
}

void SimServer::onReceived(const QByteArray &received)
{
    const QByteArray bytes = m_bootLoader ? m_bootLoader->filter(received) : received;
    if (bytes.isEmpty())
        return;
    m_reader.append(bytes);
    processFrames(false);
    if (m_reader.pending() > 0)
        m_gapTimer->start();
}

void SimServer::processFrames(bool lineQuiet)
{
    const QList<QByteArray> frames = m_reader.takeFrames(lineQuiet);
    const QByteArray dropped = m_reader.takeDropped();
    if (!dropped.isEmpty())
        trace(QStringLiteral("dropped %1").arg(hex(dropped)));
    for (const QByteArray &frame : frames)
        serve(frame);
}

void SimServer::catchUpTime()
{
    const qint64 now = m_clock.elapsed();
    m_simCarryMs += double(now - m_lastAdvanceMs) * m_settings.speed;
    m_lastAdvanceMs = now;
    const qint64 whole = qint64(m_simCarryMs);
    m_simCarryMs -= double(whole);
    m_device->advance(whole);
}

void SimServer::serve(const QByteArray &frame)
{
    if (m_log.isOpen()) {
        m_log.write(hex(frame).toLatin1() + '\n');
        m_log.flush();
    }
    trace(QStringLiteral("request %1").arg(hex(frame)));

    catchUpTime();
    const QByteArray reply = m_device->handleRequest(frame);
    const QList<SimFaults::Chunk> chunks = m_faults.plan(reply);
    if (m_faultLog.isOpen()) {
        m_faultLog.write(hex(frame).remove(' ').toLatin1() + ' ' + m_faults.lastFate() + '\n');
        m_faultLog.flush();
    }
    if (chunks.isEmpty()) {
        trace(QStringLiteral("no reply"));
        return;
    }
    const qint64 now = m_clock.elapsed();
    qint64 due = qMax(now, m_lastDueMs);
    for (int i = 0; i < chunks.size(); ++i) {
        due += chunks[i].pauseMs;
        m_outbox.append({due, chunks[i].bytes, i == chunks.size() - 1});
    }
    m_lastDueMs = due;
    sendDue();
}

void SimServer::sendDue()
{
    const qint64 now = m_clock.elapsed();
    while (!m_outbox.isEmpty() && m_outbox.first().dueMs <= now) {
        const Pending p = m_outbox.takeFirst();
        m_line->write(p.bytes);
        trace(QStringLiteral("reply %1").arg(hex(p.bytes)));
        if (p.endsReply)
            m_device->noteReplySent();
    }
    if (!m_outbox.isEmpty())
        m_sendTimer->start(int(qMax<qint64>(0, m_outbox.first().dueMs - now)));
}
