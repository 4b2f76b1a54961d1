#include "YmodemFileTransfer.h"

#include <QTimer>

YmodemFileTransfer::YmodemFileTransfer(QObject *parent)
    : QObject(parent), Ymodem(499, 5, 999),
      progress(0), status(StatusStarted), fileSize(0), bytesDone(0),
      readTimer(new QTimer), writeTimer(new QTimer)
{
    // A precise step keeps the gap between a packet and its answer short.
    readTimer->setTimerType(Qt::PreciseTimer);
    connect(readTimer, &QTimer::timeout, this, &YmodemFileTransfer::readTimeOut);
    connect(writeTimer, &QTimer::timeout, this, &YmodemFileTransfer::writeTimeOut);
    link.onArrival(this, [this] { arrivalStep(); });
}

YmodemFileTransfer::~YmodemFileTransfer()
{
    delete readTimer;
    delete writeTimer;
}

void YmodemFileTransfer::setPort(const QString &name) { link.setPortName(name); }
void YmodemFileTransfer::setBaud(int rate) { link.setBaud(rate); }

void YmodemFileTransfer::setStepOnArrival(bool on)
{
    stepOnArrival = on;
    link.setFlushEachWrite(on);
}

bool YmodemFileTransfer::startTransfer()
{
    if (link.isOpen() || readTimer->isActive() || writeTimer->isActive()) {
        reason = tr("a transfer is already running");
        return false;
    }
    progress = 0;
    status = StatusStarted;
    fileSize = 0;
    bytesDone = 0;
    reason.clear();
    prepareFile();
    if (!link.open(&reason))
        return false;
    readTimer->start(YmodemSerialLink::StepMs);
    return true;
}

void YmodemFileTransfer::stopTransfer()
{
    // Only a running transfer can be stopped; an ended one is already being reported.
    if (!running())
        return;
    if (!link.isOpen())
        return;
    // Once the end of the file has been acknowledged the receiver has the
    // file: a stop now only skips the closing handshake.
    if (finishDelivered())
        return;
    abortTransfer();
    endWith(StatusAborted, tr("stopped by the user"));
}

void YmodemFileTransfer::readTimeOut()
{
    readTimer->stop();
    // Once the transfer has ended nothing more goes on the line (no stray
    // "C" after a stop), so the next transfer starts at once.
    if (!running())
        return;
    // While the last packet is still going out (a 1 KiB block takes 8.6 s at
    // 1200 baud) no time counts towards a retry.
    step(link.lineBusy() ? StepUntimed : StepTimed);
    if (running())
        readTimer->start(YmodemSerialLink::StepMs);
}

void YmodemFileTransfer::arrivalStep()
{
    // A few rounds: what is still waiting after one step gets no second
    // notice from the port.
    for (int round = 0; round < 8 && stepOnArrival && running() && link.isOpen(); ++round) {
        step(StepUntimed);
        if (link.bytesAvailable() == 0)
            break;
    }
}

void YmodemFileTransfer::step(StepKind kind)
{
    if (link.lostAndDrained()) {
        // A receiver that has acknowledged the end of the file may close
        // the line before its last answer: the file is delivered.
        if (finishDelivered())
            return;
        const QString why = tr("serial port error: %1").arg(link.errorString());
        abortTransfer();
        endWith(StatusFailed, why);
        return;
    }
    engineStep(kind);
}

void YmodemFileTransfer::writeTimeOut()
{
    writeTimer->stop();
    link.close();
    reportStatus();
}

void YmodemFileTransfer::endWith(Status final, const QString &why)
{
    dropFile();
    status = final;
    if (reason.isEmpty())
        reason = why;
    writeTimer->start(YmodemSerialLink::EndDelayMs);
}

void YmodemFileTransfer::advance(quint64 n)
{
    bytesDone += n;
    status = StatusTransferring;
    progress = int(bytesDone * 100 / fileSize);
    reportProgress();
    reportStatus();
}

quint32 YmodemFileTransfer::readInput(quint8 *buffer, quint32 length)
{
    return link.read(buffer, length);
}

quint32 YmodemFileTransfer::writeOutput(quint8 *buffer, quint32 length)
{
    return link.write(buffer, length);
}
