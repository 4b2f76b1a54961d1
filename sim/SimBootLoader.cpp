#include "SimBootLoader.h"

#include "SimLine.h"
#include "YmodemFileReceive.h"
#include "YmodemHeader.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

#include <climits>
#include <cstring>

namespace {
constexpr int kStepMs = 10;
// A header that began but stopped coming for this long was line noise.
constexpr qint64 kAbandonedHeaderMs = 500;
}

SimBootLoader::SimBootLoader(SimLine *line, const Settings &settings, QObject *parent)
    : QObject(parent), Ymodem(qMax(1, settings.promptMs / kStepMs) - 1, INT_MAX, 999), m_line(line),
      m_settings(settings), m_quietTimer(new QTimer(this)), m_stepTimer(new QTimer(this)), m_file(new QSaveFile)
{
    m_quietTimer->setSingleShot(true);
    m_quietTimer->setInterval(settings.quietMs);
    m_stepTimer->setInterval(kStepMs);
    m_stepTimer->setTimerType(Qt::PreciseTimer);
    connect(m_quietTimer, &QTimer::timeout, this, [this] {
        m_mode = Prompting;
        m_stepTimer->start();
        step(); // the first prompt goes out at once
    });
    connect(m_stepTimer, &QTimer::timeout, this, &SimBootLoader::step);
    m_lastInput.start();
}

SimBootLoader::~SimBootLoader()
{
    delete m_file; // an unfinished image is thrown away
}

bool SimBootLoader::start(QString *error)
{
    const QFileInfo dir(m_settings.directory);
    if (!dir.isDir() || !dir.isWritable()) {
        *error = QStringLiteral("the firmware directory %1 is not a writable directory").arg(m_settings.directory);
        return false;
    }
    m_quietTimer->start();
    return true;
}

bool SimBootLoader::startsTransfer(const QByteArray &head)
{
    // Every YModem transfer opens with block 0 in a 128-byte packet.
    return head.size() >= 3 && quint8(head[0]) == CodeSoh && quint8(head[1]) == 0x00 && quint8(head[2]) == 0xFF;
}

QByteArray SimBootLoader::filter(const QByteArray &bytes)
{
    m_lastInput.restart();
    switch (m_mode) {
    case Receiving:
        m_input += bytes;
        return QByteArray();
    case Prompting: {
        if (!m_input.isEmpty() || rxPhase != 0) { // the rest of a header
            m_input += bytes;
            return QByteArray();
        }
        m_held += bytes;
        if (startsTransfer(m_held)) {
            m_input += m_held;
            m_held.clear();
            return QByteArray();
        }
        static const QByteArray headerStart("\x01\x00\xFF", 3);
        if (m_held.size() < headerStart.size() && headerStart.startsWith(m_held))
            return QByteArray(); // too short to tell yet
        const QByteArray forDevice = m_held;
        m_held.clear();
        toDeviceMode();
        return forDevice;
    }
    case DeviceMode:
        break;
    }
    m_quietTimer->start();
    return bytes;
}

void SimBootLoader::step()
{
    if (m_mode == Prompting && rxPhase != 0 && m_input.isEmpty() && m_lastInput.elapsed() > kAbandonedHeaderMs) {
        toDeviceMode();
        return;
    }
    receiveStep();
    // Every end of a transfer (finished, refused, cancelled, given up) leaves
    // the engine idle: the device takes the line back.
    if (stage == StageIdle)
        toDeviceMode();
}

void SimBootLoader::silentReset()
{
    // The engine resets only by cancelling; the host is not in a transfer,
    // so its cancel bytes stay off the line.
    m_mute = true;
    abortTransfer();
    m_mute = false;
}

void SimBootLoader::toDeviceMode()
{
    m_stepTimer->stop();
    if (stage != StageIdle)
        silentReset();
    setTimeoutLimit(INT_MAX);
    m_input.clear();
    m_held.clear();
    discardImage();
    m_mode = DeviceMode;
    m_quietTimer->start();
}

quint32 SimBootLoader::readInput(quint8 *buffer, quint32 length)
{
    const int n = qMin(int(length), m_input.size());
    if (n > 0) {
        std::memcpy(buffer, m_input.constData(), size_t(n));
        m_input.remove(0, n);
    }
    return quint32(n);
}

quint32 SimBootLoader::writeOutput(quint8 *buffer, quint32 length)
{
    if (!m_mute)
        m_line->write(QByteArray(reinterpret_cast<const char *>(buffer), int(length)));
    return length;
}

quint8 SimBootLoader::takeHeader(const quint8 *buffer, quint32 length)
{
    m_name = YmodemHeader::fileName(buffer, length);
    m_size = 0;
    m_done = 0;
    m_stored = false;
    discardImage(); // whatever an earlier transfer left open
    if (!YmodemFileReceive::isSafeFileName(m_name)) {
        fail(QStringLiteral("refused image name \"%1\"").arg(m_name));
        return CodeCan;
    }
    if (!YmodemHeader::fileSize(buffer, length, &m_size) || m_size > m_settings.maxSize) {
        fail(QStringLiteral("refused %1: no usable size in its header").arg(m_name));
        return CodeCan;
    }
    const QString path = QDir(m_settings.directory).filePath(m_name);
    const QString problem = YmodemFileReceive::targetProblem(path);
    if (!problem.isEmpty()) {
        fail(problem);
        return CodeCan;
    }
    m_file->setFileName(path);
    if (!m_file->open(QIODevice::WriteOnly)) {
        fail(QStringLiteral("cannot write %1: %2").arg(m_file->fileName(), m_file->errorString()));
        return CodeCan;
    }
    m_mode = Receiving;
    // From here on a silent host ends the transfer.
    setTimeoutLimit(qMax(1, m_settings.giveUpMs / qMax(1, m_settings.promptMs)) - 1);
    return CodeAck;
}

quint8 SimBootLoader::takeData(const quint8 *buffer, quint32 length)
{
    if (m_done >= m_size) {
        fail(QStringLiteral("%1: more data than the announced %2 bytes").arg(m_name).arg(m_size));
        return CodeCan;
    }
    const qint64 n = qint64(qMin<quint64>(length, m_size - m_done)); // the padding is dropped
    if (m_file->write(reinterpret_cast<const char *>(buffer), n) != n) {
        fail(QStringLiteral("writing %1 failed: %2").arg(m_file->fileName(), m_file->errorString()));
        return CodeCan;
    }
    m_done += quint64(n);
    return CodeAck;
}

// The end of the image arrived: it is saved before the end is acknowledged,
// so the host's success means the image is stored; a short image or one that
// cannot be saved gets the cancel burst.
quint8 SimBootLoader::store()
{
    if (m_stored)
        return CodeAck;
    if (!m_file->isOpen() || m_done != m_size) {
        fail(QStringLiteral("%1 ended after %2 of %3 bytes").arg(m_name).arg(m_done).arg(m_size));
        return CodeCan;
    }
    const QString path = m_file->fileName();
    const QString problem = YmodemFileReceive::targetProblem(path);
    if (!problem.isEmpty()) {
        fail(problem);
        return CodeCan;
    }
    if (!m_file->commit()) {
        fail(QStringLiteral("saving %1 failed: %2").arg(path, m_file->errorString()));
        return CodeCan;
    }
    m_stored = true;
    emit report(QStringLiteral("firmware image %1 (%2 bytes) saved to %3").arg(m_name).arg(m_size).arg(path));
    return CodeAck;
}

void SimBootLoader::finish()
{
    store(); // a host that skipped the end of the image gets its failure reported here
}

void SimBootLoader::fail(const QString &why)
{
    discardImage();
    // The name and reason may carry what the host sent: shown escaped.
    emit report(YmodemHeader::printable(QStringLiteral("firmware transfer failed: %1").arg(why)));
}

// Throws away an unfinished image: its temporary file goes and the save file
// is closed, ready for the next image.
void SimBootLoader::discardImage()
{
    if (m_file->isOpen()) {
        m_file->cancelWriting();
        m_file->commit(); // fails by design: removes the temporary file and closes it
    }
}

quint8 SimBootLoader::handleEvent(Event event, quint8 *buffer, quint32 *length)
{
    switch (event) {
    case EventHeader:
        return takeHeader(buffer, *length);
    case EventData:
        return takeData(buffer, length ? *length : 0);
    case EventEndOfFile:
        return store();
    case EventFinished:
        finish();
        return CodeAck;
    case EventCancelled:
        fail(QStringLiteral("%1: cancelled by the host").arg(m_name));
        return CodeCan;
    default:
        fail(QStringLiteral("%1: the host stopped sending").arg(m_name));
        return CodeCan;
    }
}
