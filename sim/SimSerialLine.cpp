#include "SimSerialLine.h"

#include <QSerialPort>
#include <QTimer>

SimSerialLine::SimSerialLine(const QString &name, int baud, QObject *parent)
    : SimLine(parent), portName(name), baudRate(baud), port(new QSerialPort(this)), reopen(new QTimer(this))
{
    reopen->setInterval(1000);
    connect(port, &QSerialPort::readyRead, this, [this] { emit received(port->readAll()); });
    connect(port, &QSerialPort::errorOccurred, this, [this] { onError(); });
    connect(reopen, &QTimer::timeout, this, [this] {
        QString ignored;
        if (openPort(&ignored))
            reopen->stop();
    });
}

bool SimSerialLine::open(QString *error)
{
    return openPort(error);
}

bool SimSerialLine::openPort(QString *error)
{
    port->setPortName(portName);
    port->setBaudRate(baudRate);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    if (!port->open(QIODevice::ReadWrite)) {
        *error = QStringLiteral("cannot open %1: %2").arg(portName, port->errorString());
        return false;
    }
    return true;
}

void SimSerialLine::onError()
{
    if (port->error() == QSerialPort::ResourceError && port->isOpen()) {
        port->close();
        reopen->start();
    }
}

void SimSerialLine::write(const QByteArray &bytes)
{
    if (port->isOpen())
        port->write(bytes);
}
