#ifndef KORVEX_YMODEMFILETRANSFER_H
#define KORVEX_YMODEMFILETRANSFER_H

#include "Ymodem.h"
#include "YmodemSerialLink.h"

#include <QObject>
#include <QString>

class QTimer;

// What a file sent or received over a serial port of its own has in common:
// the port, one engine step per 10 ms (and, if asked, one on arrival of
// bytes), the loss of the line, the user's stop, and the final status (2..5),
// which comes once, 100 ms after the end, when the port has been closed.
// YmodemFileReceive and YmodemFileTransmit add the file.
class YmodemFileTransfer : public QObject, public Ymodem
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

    void setPort(const QString &name);
    void setBaud(int rate);

    bool startTransfer();
    void stopTransfer();

    // Off (the default): one engine step per 10 ms timeout, as the update
    // window runs it. On: an extra step as soon as the peer's bytes arrive,
    // so that each packet is answered at once; the 10 ms timer still counts
    // the idle steps, so retry and give-up times stay the same.
    void setStepOnArrival(bool on);

    // For callers that show more than a percentage.
    Status currentStatus() const { return status; }
    quint64 totalBytes() const { return fileSize; }
    quint64 transferredBytes() const { return bytesDone; }
    // Why the last transfer failed, or empty.
    QString failureReason() const { return reason; }

protected:
    explicit YmodemFileTransfer(QObject *parent);
    ~YmodemFileTransfer() override;

    // The file's own part of a fresh transfer, of its end (throw away or
    // close the file), of an engine step and of the status report.
    virtual void prepareFile() = 0;
    virtual void dropFile() = 0;
    virtual void engineStep(StepKind kind) = 0;
    virtual void reportProgress() = 0;
    virtual void reportStatus() = 0;

    // n more bytes of the file have gone out or been stored.
    void advance(quint64 n);

    // Ends the transfer with `final`; the first reason given is kept.
    void endWith(Status final, const QString &why = QString());

    quint32 readInput(quint8 *buffer, quint32 length) override;
    quint32 writeOutput(quint8 *buffer, quint32 length) override;

    int progress;
    Status status;
    quint64 fileSize;
    quint64 bytesDone;
    QString reason;

private slots:
    void readTimeOut();
    void writeTimeOut();

private:
    bool running() const { return status == StatusStarted || status == StatusTransferring; }
    void step(StepKind kind);
    void arrivalStep();

    QTimer *readTimer;
    QTimer *writeTimer;
    YmodemSerialLink link;
    bool stepOnArrival = false;
};

#endif
