#ifndef KORVEX_YMODEMFILETRANSMIT_H
#define KORVEX_YMODEMFILETRANSMIT_H

#include "Ymodem.h"
#include "YmodemSerialLink.h"

#include <QObject>
#include <QString>

class QFile;
class QTimer;

// Sends one file over a serial port of its own with YModem, one engine step
// per 10 ms. Reports progress (0..100) and status; the final status (2..5)
// comes once, 100 ms after the end, when the port has been closed.
class YmodemFileTransmit : public QObject, public Ymodem
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

    explicit YmodemFileTransmit(QObject *parent = nullptr);
    ~YmodemFileTransmit() override;

    void setSourceFile(const QString &path);
    void setPort(const QString &name);
    void setBaud(int rate);

    bool startTransfer();
    void stopTransfer();

    // Off (the default): one engine step per 10 ms timeout, as the update
    // window runs it. On: an extra step as soon as the receiver's bytes
    // arrive, so that a block follows its ACK at once; the 10 ms timer still
    // counts the idle steps, so retry and give-up times stay the same.
    void setStepOnArrival(bool on);

    // For callers that show more than a percentage.
    Status currentStatus() const { return status; }
    quint64 totalBytes() const { return fileSize; }
    quint64 transferredBytes() const { return bytesDone; }
    // Why the last transfer failed, or empty.
    QString failureReason() const { return reason; }

signals:
    void transmitProgress(int progress);
    void transmitStatus(YmodemFileTransmit::Status status);

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
    quint8 fillHeader(quint8 *buffer, quint32 *length);
    quint8 fillData(quint8 *buffer, quint32 *length);
    void endWith(Status final, const QString &why = QString());

    QFile *file;
    QTimer *readTimer;
    QTimer *writeTimer;
    YmodemSerialLink link;
    int progress;
    Status status;
    quint64 fileSize;
    quint64 bytesDone;
    QString reason;
    bool stepOnArrival = false;
    bool allSent = false; // the end of the file has gone out
};

#endif
