#ifndef KORVEX_TESTS_ENGINEHARNESS_H
#define KORVEX_TESTS_ENGINEHARNESS_H

// An in-memory YModem endpoint: input is a byte queue the test fills, output
// collects what the engine wrote. As sender it serves `source` with the file
// classes' block-size rule; as receiver it collects every passed block.

#include "Ymodem.h"
#include "YmodemBlocks.h"

#include <QByteArray>
#include <QVector>

#include <climits>
#include <cstring>

class Engine : public Ymodem
{
public:
    explicit Engine(bool isSender, int divider = 499, int timeout = 5, int errors = 999)
        : Ymodem(divider, timeout, errors), sender(isSender) {}

    void step(StepKind kind = StepTimed) { sender ? transmitStep(kind) : receiveStep(kind); }

    int stageNow() const { return stage; }
    bool deliveredNow() const { return fileDelivered(); }
    quint32 idle() const { return idleTicks; }
    quint32 errors() const { return errorCount; }
    int number() const { return blockNumber; }

    bool sender;
    QByteArray input;
    QByteArray output;
    int maxChunk = INT_MAX; // bytes one readInput may deliver
    QVector<int> events;    // end events in order
    int dataEvents = 0;
    int headerEvents = 0;
    quint8 headerAnswer = CodeAck;
    int endOfFileEvents = 0;
    quint8 endOfFileAnswer = CodeAck; // receiver: the answer to the end of the file
    QByteArray outputAtEndOfFile;      // what had been written when it came
    int refuseDataAt = -1; // answer CAN to this data event (1-based)

    // sender side
    QByteArray name = "fw.bin";
    QByteArray source;
    qint64 sent = 0;
    QVector<quint32> blockLengths;

    // receiver side
    QByteArray header;
    QByteArray received;
    QVector<quint32> receivedLengths;

    QByteArray takeOutput()
    {
        QByteArray o = output;
        output.clear();
        return o;
    }

protected:
    quint8 handleEvent(Event event, quint8 *buffer, quint32 *length) override
    {
        if (event == EventHeader) {
            ++headerEvents;
            if (sender) {
                // Each header starts the file from its first byte.
                QByteArray h = name + '\0' + QByteArray::number(source.size()) + '\0';
                std::memcpy(buffer, h.constData(), size_t(qMin(h.size(), 1024)));
                *length = h.size() > 128 ? 1024 : 128;
                sent = 0;
                blockLengths.clear();
            } else {
                header = QByteArray(reinterpret_cast<char *>(buffer), int(*length));
            }
            return headerAnswer;
        }
        if (event == EventData) {
            ++dataEvents;
            if (dataEvents == refuseDataAt)
                return CodeCan;
            if (sender) {
                if (sent >= source.size())
                    return CodeEot;
                const qint64 rest = source.size() - sent;
                const quint32 len = rest <= 128 ? 128 : 1024;
                const qint64 n = qMin<qint64>(rest, len);
                std::memcpy(buffer, source.constData() + sent, size_t(n));
                sent += n;
                *length = len;
                blockLengths.append(len);
            } else {
                received.append(reinterpret_cast<char *>(buffer), int(*length));
                receivedLengths.append(*length);
            }
            return CodeAck;
        }
        if (event == EventEndOfFile) {
            ++endOfFileEvents;
            outputAtEndOfFile = output;
            return endOfFileAnswer;
        }
        events.append(event);
        return CodeAck;
    }
    quint32 readInput(quint8 *buffer, quint32 length) override
    {
        const int n = qMin(qMin(int(length), input.size()), maxChunk);
        std::memcpy(buffer, input.constData(), size_t(n));
        input.remove(0, n);
        return quint32(n);
    }
    quint32 writeOutput(quint8 *buffer, quint32 length) override
    {
        output.append(reinterpret_cast<char *>(buffer), int(length));
        return length;
    }
};

#endif
