#include "YmodemFileTransmit.h"

#include <QFileInfo>

#include <cstring>

YmodemFileTransmit::YmodemFileTransmit(QObject *parent)
    : YmodemFileTransfer(parent)
{
    // The status travels through queued connections too.
    qRegisterMetaType<YmodemFileTransmit::Status>("YmodemFileTransmit::Status");
}

void YmodemFileTransmit::setSourceFile(const QString &path) { file.setFileName(path); }

void YmodemFileTransmit::dropFile()
{
    file.close();
}

quint8 YmodemFileTransmit::fillHeader(quint8 *buffer, quint32 *length)
{
    file.close();
    if (!file.open(QIODevice::ReadOnly)) {
        endWith(StatusFailed, tr("cannot open %1: %2").arg(file.fileName(), file.errorString()));
        return CodeCan;
    }
    if (file.isSequential()) {
        endWith(StatusFailed, tr("%1 is not a regular file").arg(file.fileName()));
        return CodeCan;
    }
    fileSize = quint64(file.size());
    bytesDone = 0;
    allSent = false; // a receiver that started over gets the file again
    const QByteArray name = QFileInfo(file.fileName()).fileName().toLocal8Bit();
    const QByteArray size = QByteArray::number(fileSize);
    // name, NUL, size, NUL go in a 128-byte header when they fit, which every
    // receiver takes, else in a 1024-byte one; a cut name would arrive as a
    // different file, so a name too long for that is not sent at all.
    const int needed = name.size() + size.size() + 2;
    if (name.isEmpty() || needed > int(LargeBlock)) {
        endWith(StatusFailed, tr("file name too long for the header (%1 bytes, at most %2)")
                                  .arg(name.size()).arg(int(LargeBlock) - size.size() - 2));
        return CodeCan;
    }
    std::memcpy(buffer, name.constData(), size_t(name.size()));
    buffer[name.size()] = 0;
    std::memcpy(buffer + name.size() + 1, size.constData(), size_t(size.size()));
    buffer[name.size() + 1 + size.size()] = 0;
    *length = needed > int(SmallBlock) ? LargeBlock : SmallBlock;
    status = StatusStarted;
    emit transmitStatus(status);
    return CodeAck;
}

quint8 YmodemFileTransmit::fillData(quint8 *buffer, quint32 *length)
{
    if (bytesDone >= fileSize) {
        allSent = true;
        status = StatusTransferring;
        emit transmitStatus(status);
        return CodeEot;
    }
    const quint64 remaining = fileSize - bytesDone;
    const quint32 blockLength = remaining <= SmallBlock ? SmallBlock : LargeBlock;
    const qint64 wanted = qint64(qMin<quint64>(blockLength, remaining));
    const qint64 got = file.read(reinterpret_cast<char *>(buffer), wanted);
    // Every announced byte must go out: a read error or a file that shrank
    // while being sent ends the transfer instead of sending a short image.
    if (got != wanted) {
        endWith(StatusFailed, tr("reading %1 failed after %2 of %3 bytes")
                                  .arg(file.fileName()).arg(bytesDone).arg(fileSize));
        return CodeCan;
    }
    *length = blockLength;
    advance(quint64(got));
    return CodeAck;
}

quint8 YmodemFileTransmit::handleEvent(Event event, quint8 *buffer, quint32 *length)
{
    switch (event) {
    case EventHeader:
        return fillHeader(buffer, length);
    case EventData:
        return fillData(buffer, length);
    case EventFinished:
        if (bytesDone == fileSize)
            endWith(StatusFinished);
        else
            endWith(StatusFailed, tr("ended after %1 of %2 bytes").arg(bytesDone).arg(fileSize));
        return CodeAck;
    case EventCancelled:
        endWith(StatusAborted, allSent ? tr("the receiver refused the file at its end")
                                       : tr("cancelled by the receiver"));
        return CodeCan;
    case EventTimedOut:
        endWith(StatusTimedOut, tr("no receiver answered"));
        return CodeCan;
    default:
        if (allSent && restartCount() >= RestartLimit)
            endWith(StatusFailed, tr("the receiver started over %1 times and never acknowledged the end of the file")
                                      .arg(restartCount() + 1));
        else
            endWith(StatusFailed, tr("the receiver stopped answering or too many errors"));
        return CodeCan;
    }
}
