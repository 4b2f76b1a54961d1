#ifndef KORVEX_SIMLINE_H
#define KORVEX_SIMLINE_H

#include <QByteArray>
#include <QObject>
#include <QString>

// The device's end of the serial line: a pseudo-terminal or a real port.
class SimLine : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SimLine() override = default;

    virtual bool open(QString *error) = 0;
    // The name a host opens to reach the device.
    virtual QString hostName() const = 0;
    // Sends bytes; what the line cannot take is lost, as on a loose cable.
    virtual void write(const QByteArray &bytes) = 0;

signals:
    void received(const QByteArray &bytes);
};

#endif
