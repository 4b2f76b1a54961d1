#include "YmodemSerialLink.h"

#include <QSerialPort>

YmodemSerialLink::YmodemSerialLink() : port(new QSerialPort)
{
    applyDefaults(port);
    clock.start();
}

YmodemSerialLink::~YmodemSerialLink()
{
    delete port;
}

void YmodemSerialLink::applyDefaults(QSerialPort *port)
{
    port->setPortName(QStringLiteral("COM1"));
    port->setBaudRate(115200, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setStopBits(QSerialPort::OneStop);
    port->setParity(QSerialPort::NoParity);
    port->setFlowControl(QSerialPort::NoFlowControl);
}

void YmodemSerialLink::setPortName(const QString &name) { port->setPortName(name); }
void YmodemSerialLink::setBaud(int rate)
{
    baud = rate;
    port->setBaudRate(rate, QSerialPort::AllDirections);
}

bool YmodemSerialLink::open(QString *error)
{
    if (!port->open(QIODevice::ReadWrite)) {
        *error = port->errorString();
        return false;
    }
    port->clear(); // bytes left from an earlier session are not ours
    port->clearError();
    lineFreeAtNs = 0;
    return true;
}

void YmodemSerialLink::close() { port->close(); }
bool YmodemSerialLink::isOpen() const { return port->isOpen(); }
QString YmodemSerialLink::errorString() const { return port->errorString(); }

bool YmodemSerialLink::lostAndDrained() const
{
    const QSerialPort::SerialPortError e = port->error();
    const bool lost = e == QSerialPort::ResourceError || e == QSerialPort::ReadError || e == QSerialPort::WriteError;
    return lost && port->bytesAvailable() == 0;
}

quint32 YmodemSerialLink::read(quint8 *buffer, quint32 length)
{
    const qint64 n = port->read(reinterpret_cast<char *>(buffer), qint64(length));
    return n > 0 ? quint32(n) : 0;
}

quint32 YmodemSerialLink::write(const quint8 *buffer, quint32 length)
{
    const qint64 n = port->write(reinterpret_cast<const char *>(buffer), qint64(length));
    if (n > 0 && baud > 0) {
        const qint64 now = clock.nsecsElapsed();
        lineFreeAtNs = qMax(now, lineFreeAtNs) + n * 10 * 1000000000LL / baud;
    }
    if (flushEachWrite)
        port->flush();
    return n > 0 ? quint32(n) : 0;
}

qint64 YmodemSerialLink::bytesAvailable() const { return port->bytesAvailable(); }

bool YmodemSerialLink::lineBusy() const { return clock.nsecsElapsed() < lineFreeAtNs; }

void YmodemSerialLink::onArrival(QObject *context, std::function<void()> handler)
{
    QObject::connect(port, &QSerialPort::readyRead, context, std::move(handler));
}
