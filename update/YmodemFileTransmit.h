#ifndef KORVEX_YMODEMFILETRANSMIT_H
#define KORVEX_YMODEMFILETRANSMIT_H

#include "YmodemFileTransfer.h"

#include <QFile>

// Sends one file over a serial port of its own with YModem; the header
// carries the file's name and size. Reports progress (0..100) and status.
class YmodemFileTransmit : public YmodemFileTransfer
{
    Q_OBJECT

public:
    explicit YmodemFileTransmit(QObject *parent = nullptr);

    void setSourceFile(const QString &path);

signals:
    void transmitProgress(int progress);
    void transmitStatus(YmodemFileTransmit::Status status);

protected:
    // Fills the header and each block from the file.
    quint8 handleEvent(Event event, quint8 *buffer, quint32 *length) override;

private:
    void prepareFile() override { allSent = false; }
    void dropFile() override;
    void engineStep(StepKind kind) override { transmitStep(kind); }
    void reportProgress() override { emit transmitProgress(progress); }
    void reportStatus() override { emit transmitStatus(status); }

    quint8 fillHeader(quint8 *buffer, quint32 *length);
    quint8 fillData(quint8 *buffer, quint32 *length);

    QFile file;
    bool allSent = false; // the end of the file has gone out
};

#endif
