#ifndef KORVEX_YMODEMFILERECEIVE_H
#define KORVEX_YMODEMFILERECEIVE_H

#include "Ymodem.h"
#include "YmodemSerialLink.h"

#include <QObject>
#include <QString>

class QSaveFile;
class QTimer;

// Receives one file over a serial port of its own with YModem into a chosen
// directory, one engine step per 10 ms. The file is written under a temporary
// name and appears under its own name only when every announced byte has
// arrived, so a failed transfer never leaves a file that looks complete. It
// is stored when the end of the file arrives, before that end is
// acknowledged: the sender's success means the file is on disk. A file that
// is short or cannot be stored gets the cancel burst instead.
class YmodemFileReceive : public QObject, public Ymodem
{
    Q_OBJECT

public:
    enum Status {
        StatusStarted = 0,
        StatusTransferring = 1,
        StatusFinished = 2,
        StatusAborted = 3,
        StatusTimedOut = 4,
        StatusFailed = 5
    };
    Q_ENUM(Status)

    explicit YmodemFileReceive(QObject *parent = nullptr);
    ~YmodemFileReceive() override;

    void setTargetDirectory(const QString &path);
    void setPort(const QString &name);
    void setBaud(int rate);

    bool startTransfer();
    void stopTransfer();

    // Off (the default): one engine step per 10 ms timeout. On: an extra step
    // as soon as the sender's bytes arrive, so that each block is answered at
    // once; the 10 ms timer still counts the idle steps.
    void setStepOnArrival(bool on);

    Status currentStatus() const { return status; }
    QString receivedFileName() const { return fileName; }
    QString targetPath() const { return directory + fileName; }
    quint64 totalBytes() const { return fileSize; }
    quint64 transferredBytes() const { return bytesDone; }
    QString failureReason() const { return reason; }

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

private slots:
    void readTimeOut();
    void writeTimeOut();

protected:
    quint8 handleEvent(Event event, quint8 *buffer, quint32 *length) override;
    quint32 readInput(quint8 *buffer, quint32 length) override;
    quint32 writeOutput(quint8 *buffer, quint32 length) override;

private:
    bool running() const { return status == StatusStarted || status == StatusTransferring; }
    void step(StepKind kind);
    void arrivalStep();
    quint8 takeHeader(const quint8 *buffer, quint32 length);
    quint8 takeData(const quint8 *buffer, quint32 length);
    quint8 storeFile();
    quint8 finish();
    void endWith(Status final, const QString &why = QString());

    QSaveFile *file;
    QTimer *readTimer;
    QTimer *writeTimer;
    YmodemSerialLink link;
    int progress;
    Status status;
    QString directory;
    QString fileName;
    quint64 fileSize;
    quint64 bytesDone;
    QString reason;
    bool stepOnArrival = false;
    bool stored = false; // the file is complete under its own name
};

#endif
