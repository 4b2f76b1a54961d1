#ifndef KORVEX_YMODEMFILETRANSMIT_H
#define KORVEX_YMODEMFILETRANSMIT_H

#include "YmodemFileTransfer.h"

#include <QString>

class QFile;

// Sends one file over a serial port of its own with YModem. Reports
// progress (0..100) and status.
class YmodemFileTransmit : public YmodemFileTransfer
{
    Q_OBJECT

public:
    explicit YmodemFileTransmit(QObject *parent = nullptr);
    ~YmodemFileTransmit() override;

    void setSourceFile(const QString &path);

signals:
    void transmitProgress(int progress);
    void transmitStatus(YmodemFileTransmit::Status status);

protected:
    quint8 handleEvent(Event event, quint8 *buffer, quint32 *length) override;

private:
    void prepareFile() override { allSent = false; }
    void dropFile() override;
    void engineStep(StepKind kind) override { transmitStep(kind); }
    void reportStatus() override { emit transmitStatus(status); }

    quint8 fillHeader(quint8 *buffer, quint32 *length);
    quint8 fillData(quint8 *buffer, quint32 *length);

    QFile *file;
    bool allSent = false; // the end of the file has gone out
};

#endif
