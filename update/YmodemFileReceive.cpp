#include "YmodemFileReceive.h"

#include "YmodemHeader.h"

#include <QFileInfo>

YmodemFileReceive::YmodemFileReceive(QObject *parent)
    : YmodemFileTransfer(parent)
{
    // The status travels through queued connections too.
    qRegisterMetaType<YmodemFileReceive::Status>("YmodemFileReceive::Status");
}

void YmodemFileReceive::setTargetDirectory(const QString &path) { directory = path + QLatin1Char('/'); }

void YmodemFileReceive::prepareFile()
{
    fileName.clear();
    stored = false;
}

bool YmodemFileReceive::isSafeFileName(const QString &name)
{
    // "fw..v2.bin" is a plain name; only "." and ".." name directories.
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (YmodemHeader::isControl(c) || c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return false;
    }
    return true;
}

QString YmodemFileReceive::targetProblem(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return tr("%1 is a link; a received file is never written through one").arg(path);
    if (info.exists() && !info.isFile())
        return tr("%1 exists and is not a plain file").arg(path);
    return QString();
}

// Anything written so far is thrown away unless the file was committed before.
void YmodemFileReceive::dropFile()
{
    if (file.isOpen()) {
        file.cancelWriting();
        file.commit(); // fails by design and removes the temporary file
    }
}

quint8 YmodemFileReceive::takeHeader(const quint8 *buffer, quint32 length)
{
    if (buffer[0] == 0) {
        endWith(StatusFailed, tr("header without a file name"));
        return CodeCan;
    }
    fileName = YmodemHeader::fileName(buffer, length);
    bytesDone = 0;
    stored = false;
    if (!isSafeFileName(fileName)) {
        endWith(StatusFailed, tr("refused unsafe file name \"%1\"").arg(fileName));
        return CodeCan;
    }
    // Without a size the padding of the last block cannot be told from data.
    if (!YmodemHeader::fileSize(buffer, length, &fileSize)) {
        fileSize = 0;
        endWith(StatusFailed, tr("header for \"%1\" carries no valid size").arg(fileName));
        return CodeCan;
    }
    const QString problem = targetProblem(directory + fileName);
    if (!problem.isEmpty()) {
        endWith(StatusFailed, problem);
        return CodeCan;
    }
    file.setFileName(directory + fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        endWith(StatusFailed, tr("cannot create %1: %2").arg(directory + fileName, file.errorString()));
        return CodeCan;
    }
    status = StatusStarted;
    emit receiveStatus(status);
    return CodeAck;
}

quint8 YmodemFileReceive::takeData(const quint8 *buffer, quint32 length)
{
    if (bytesDone >= fileSize) {
        endWith(StatusFailed, tr("more data than the announced %1 bytes").arg(fileSize));
        return CodeCan;
    }
    // Only the announced size is written; the padding of the last block is dropped.
    const qint64 n = qint64(qMin<quint64>(length, fileSize - bytesDone));
    if (file.write(reinterpret_cast<const char *>(buffer), n) != n) {
        endWith(StatusFailed, tr("writing %1 failed: %2").arg(directory + fileName, file.errorString()));
        return CodeCan;
    }
    advance(quint64(n));
    return CodeAck;
}

// The end of the file arrived: it is stored now, before its end is
// acknowledged. Answers CAN (the engine then sends the cancel burst) when
// bytes are missing or the file cannot be stored.
quint8 YmodemFileReceive::storeFile()
{
    if (stored)
        return CodeAck;
    if (!file.isOpen() || bytesDone != fileSize) {
        endWith(StatusFailed, tr("transfer ended after %1 of %2 bytes").arg(bytesDone).arg(fileSize));
        return CodeCan;
    }
    // A link put in the file's place while it was arriving is not replaced.
    const QString problem = targetProblem(directory + fileName);
    if (!problem.isEmpty()) {
        endWith(StatusFailed, problem);
        return CodeCan;
    }
    if (!file.commit()) {
        const QString why = tr("saving %1 failed: %2").arg(directory + fileName, file.errorString());
        endWith(StatusFailed, why);
        return CodeCan;
    }
    stored = true;
    return CodeAck;
}

quint8 YmodemFileReceive::finish()
{
    if (storeFile() != CodeAck)
        return CodeAck; // already ended as failed
    endWith(StatusFinished);
    return CodeAck;
}

quint8 YmodemFileReceive::handleEvent(Event event, quint8 *buffer, quint32 *length)
{
    switch (event) {
    case EventHeader:
        return takeHeader(buffer, *length);
    case EventData:
        return takeData(buffer, length ? *length : 0);
    case EventEndOfFile:
        return storeFile();
    case EventFinished:
        return finish();
    case EventCancelled:
        endWith(StatusAborted, tr("cancelled by the sender"));
        return CodeCan;
    case EventTimedOut:
        endWith(StatusTimedOut, tr("no sender answered"));
        return CodeCan;
    default:
        endWith(StatusFailed, tr("the sender stopped answering or too many errors"));
        return CodeCan;
    }
}
