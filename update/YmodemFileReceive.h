#ifndef KORVEX_YMODEMFILERECEIVE_H
#define KORVEX_YMODEMFILERECEIVE_H

#include "YmodemFileTransfer.h"

#include <QSaveFile>

// Receives one file over a serial port of its own with YModem into a chosen
// directory. The file is written under a temporary name and appears under
// its own name only when every announced byte has arrived, so a failed
// transfer never leaves a file that looks complete. It is stored when the
// end of the file arrives, before that end is acknowledged: the sender's
// success means the file is on disk. A file that is short or cannot be
// stored gets the cancel burst instead.
class YmodemFileReceive : public YmodemFileTransfer
{
    Q_OBJECT

public:
    explicit YmodemFileReceive(QObject *parent = nullptr);

    // The folder the file goes to; its name comes from the header.
    void setTargetDirectory(const QString &path);

    QString receivedFileName() const { return fileName; }
    QString targetPath() const { return directory + fileName; }

    // A header name is taken only when it is a plain file name: not empty,
    // not "." or "..", no directory separator, no drive, no control characters.
    static bool isSafeFileName(const QString &name);
    // Why a received file must not be written at `path`, or empty: an entry
    // of that name that is not a plain file (a link, say, which would send
    // the bytes elsewhere) is never written through or replaced.
    static QString targetProblem(const QString &path);

signals:
    void receiveProgress(int progress);
    void receiveStatus(YmodemFileReceive::Status status);

protected:
    // Takes the header, stores each block and commits the file at its end.
    quint8 handleEvent(Event event, quint8 *buffer, quint32 *length) override;

private:
    void prepareFile() override;
    void dropFile() override;
    void engineStep(StepKind kind) override { receiveStep(kind); }
    void reportProgress() override { emit receiveProgress(progress); }
    void reportStatus() override { emit receiveStatus(status); }

    quint8 takeHeader(const quint8 *buffer, quint32 length);
    quint8 takeData(const quint8 *buffer, quint32 length);
    quint8 storeFile();
    quint8 finish();

    QSaveFile file; // an uncommitted temporary file goes with it
    QString directory;
    QString fileName;
    bool stored = false; // the file is complete under its own name
};

#endif
