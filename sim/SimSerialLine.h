#ifndef KORVEX_SIMSERIALLINE_H
#define KORVEX_SIMSERIALLINE_H

#include "SimLine.h"

class QSerialPort;
class QTimer;

// An existing serial port, 8 data bits, no parity, one stop bit, no flow
// control. If the port goes away (adapter unplugged) it is reopened once a
// second until it is back.
class SimSerialLine : public SimLine
{
    Q_OBJECT
public:
    SimSerialLine(const QString &name, int baud, QObject *parent = nullptr);

    bool open(QString *error) override;
    QString hostName() const override { return portName; }
    void write(const QByteArray &bytes) override;

private:
    bool openPort(QString *error);
    void onError();

    QString portName;
    int baudRate;
    QSerialPort *port;
    QTimer *reopen;
};

#endif
