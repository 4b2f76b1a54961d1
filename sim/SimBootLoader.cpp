#include "SimBootLoader.h"

#include "SimLine.h"
#include "YmodemFileReceive.h"
#include "YmodemHeader.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>

#include <climits>
#include <cstring>

namespace {
constexpr int StepMs = 10;
// A header that began but stopped coming for this long was line noise.
constexpr qint64 AbandonedHeaderMs = 500;
}

SimBootLoader::SimBootLoader(SimLine *line, const Settings &settings, QObject *parent)
    : QObject(parent), Ymodem(qMax(1, settings.promptMs / StepMs) - 1, INT_MAX, 999), deviceLine(line),
      loaderSettings(settings), quietTimer(new QTimer(this)), stepTimer(new QTimer(this)), file(new QSaveFile)
{
    quietTimer->setSingleShot(true);
    quietTimer->setInterval(settings.quietMs);
    stepTimer->setInterval(StepMs);
    stepTimer->setTimerType(Qt::PreciseTimer);
    connect(quietTimer, &QTimer::timeout, this, [this] {
        currentMode = Prompting;
        stepTimer->start();
        step(); // the first prompt goes out at once
    });
    connect(stepTimer, &QTimer::timeout, this, &SimBootLoader::step);
    lastInput.start();
}

SimBootLoader::~SimBootLoader()
{
    delete file; // an unfinished image is thrown away
}

bool SimBootLoader::start(QString *error)
{
    const QFileInfo dir(loaderSettings.directory);
    if (!dir.isDir() || !dir.isWritable()) {
        *error = QStringLiteral("the firmware directory %1 is not a writable directory").arg(loaderSettings.directory);
        return false;
    }
    quietTimer->start();
    return true;
}

bool SimBootLoader::startsTransfer(const QByteArray &head)
{
    // Every YModem transfer opens with block 0 in a 128-byte packet.
    return head.size() >= 3 && quint8(head[0]) == CodeSoh && quint8(head[1]) == 0x00 && quint8(head[2]) == 0xFF;
}

QByteArray SimBootLoader::filter(const QByteArray &bytes)
{
    lastInput.restart();
    switch (currentMode) {
    case Receiving:
        input += bytes;
        return QByteArray();
    case Prompting: {
        if (!input.isEmpty() || rxPhase != 0) { // the rest of a header
            input += bytes;
            return QByteArray();
        }
        held += bytes;
        if (startsTransfer(held)) {
            input += held;
            held.clear();
            return QByteArray();
        }
        static const QByteArray headerStart("\x01\x00\xFF", 3);
        if (held.size() < headerStart.size() && headerStart.startsWith(held))
            return QByteArray(); // too short to tell yet
        const QByteArray forDevice = held;
        held.clear();
        toDeviceMode();
        return forDevice;
    }
    case DeviceMode:
        break;
    }
    quietTimer->start();
    return bytes;
}

void SimBootLoader::step()
{
    if (currentMode == Prompting && rxPhase != 0 && input.isEmpty() && lastInput.elapsed() > AbandonedHeaderMs) {
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
    mute = true;
    abortTransfer();
    mute = false;
}

void SimBootLoader::toDeviceMode()
{
    stepTimer->stop();
    if (stage != StageIdle)
        silentReset();
    setTimeoutLimit(INT_MAX);
    input.clear();
    held.clear();
    discardImage();
    currentMode = DeviceMode;
    quietTimer->start();
}

quint32 SimBootLoader::readInput(quint8 *buffer, quint32 length)
{
    const int n = qMin(int(length), input.size());
    if (n > 0) {
        std::memcpy(buffer, input.constData(), size_t(n));
        input.remove(0, n);
    }
    return quint32(n);
}

quint32 SimBootLoader::writeOutput(quint8 *buffer, quint32 length)
{
    if (!mute)
        deviceLine->write(QByteArray(reinterpret_cast<const char *>(buffer), int(length)));
    return length;
}

quint8 SimBootLoader::takeHeader(const quint8 *buffer, quint32 length)
{
    name = YmodemHeader::fileName(buffer, length);
    size = 0;
    done = 0;
    stored = false;
    discardImage(); // whatever an earlier transfer left open
    if (!YmodemFileReceive::isSafeFileName(name)) {
        fail(QStringLiteral("refused image name \"%1\"").arg(name));
        return CodeCan;
    }
    if (!YmodemHeader::fileSize(buffer, length, &size) || size > loaderSettings.maxSize) {
        fail(QStringLiteral("refused %1: no usable size in its header").arg(name));
        return CodeCan;
    }
    const QString path = QDir(loaderSettings.directory).filePath(name);
    const QString problem = YmodemFileReceive::targetProblem(path);
    if (!problem.isEmpty()) {
        fail(problem);
        return CodeCan;
    }
    file->setFileName(path);
    if (!file->open(QIODevice::WriteOnly)) {
        fail(QStringLiteral("cannot write %1: %2").arg(file->fileName(), file->errorString()));
        return CodeCan;
    }
    currentMode = Receiving;
    // From here on a silent host ends the transfer.
    setTimeoutLimit(qMax(1, loaderSettings.giveUpMs / qMax(1, loaderSettings.promptMs)) - 1);
    return CodeAck;
}

quint8 SimBootLoader::takeData(const quint8 *buffer, quint32 length)
{
    if (done >= size) {
        fail(QStringLiteral("%1: more data than the announced %2 bytes").arg(name).arg(size));
        return CodeCan;
    }
    const qint64 n = qint64(qMin<quint64>(length, size - done)); // the padding is dropped
    if (file->write(reinterpret_cast<const char *>(buffer), n) != n) {
        fail(QStringLiteral("writing %1 failed: %2").arg(file->fileName(), file->errorString()));
        return CodeCan;
    }
    done += quint64(n);
    return CodeAck;
}

// The end of the image arrived: it is saved before the end is acknowledged,
// so the host's success means the image is stored; a short image or one that
// cannot be saved gets the cancel burst.
quint8 SimBootLoader::store()
{
    if (stored)
        return CodeAck;
    if (!file->isOpen() || done != size) {
        fail(QStringLiteral("%1 ended after %2 of %3 bytes").arg(name).arg(done).arg(size));
        return CodeCan;
    }
    const QString path = file->fileName();
    const QString problem = YmodemFileReceive::targetProblem(path);
    if (!problem.isEmpty()) {
        fail(problem);
        return CodeCan;
    }
    if (!file->commit()) {
        fail(QStringLiteral("saving %1 failed: %2").arg(path, file->errorString()));
        return CodeCan;
    }
    stored = true;
    emit report(QStringLiteral("firmware image %1 (%2 bytes) saved to %3").arg(name).arg(size).arg(path));
    emit imageSaved(path);
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
    if (file->isOpen()) {
        file->cancelWriting();
        file->commit(); // fails by design: removes the temporary file and closes it
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
        fail(QStringLiteral("%1: cancelled by the host").arg(name));
        return CodeCan;
    default:
        fail(QStringLiteral("%1: the host stopped sending").arg(name));
        return CodeCan;
    }
}

bool SimBootLoader::imageVersion(const QByteArray &head, quint8 *major, quint8 *minor)
{
    static const QRegularExpression tag(QStringLiteral("KORVEX-FIRMWARE ([0-9]{1,3})\\.([0-9]{1,3})"));
    const QRegularExpressionMatch m = tag.match(QString::fromLatin1(head.left(VersionSearchBytes)));
    if (!m.hasMatch() || m.captured(1).toInt() > 255 || m.captured(2).toInt() > 255)
        return false;
    *major = quint8(m.captured(1).toInt());
    *minor = quint8(m.captured(2).toInt());
    return true;
}
