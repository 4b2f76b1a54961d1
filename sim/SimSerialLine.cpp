#include "SimSerialLine.h"

#include <QSerialPort>
#include <QTimer>

SimSerialLine::SimSerialLine(const QString &name, int baud, QObject *parent)
    : SimLine(parent), m_name(name), m_baud(baud), m_port(new QSerialPort(this)), m_reopen(new QTimer(this))
{
    m_reopen->setInterval(1000);
    connect(m_port, &QSerialPort::readyRead, this, [this] { emit received(m_port->readAll()); });
    connect(m_port, &QSerialPort::errorOccurred, this, [this] { onError(); });
    connect(m_reopen, &QTimer::timeout, this, [this] {
        QString ignored;
        if (openPort(&ignored))
            m_reopen->stop();
    });
}

bool SimSerialLine::open(QString *error)
{
    return openPort(error);
}

bool SimSerialLine::openPort(QString *error)
{
    m_port->setPortName(m_name);
    m_port->setBaudRate(m_baud);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port->open(QIODevice::ReadWrite)) {
        *error = QStringLiteral("cannot open %1: %2").arg(m_name, m_port->errorString());
        return false;
    }
    return true;
}

void SimSerialLine::onError()
{
    if (m_port->error() == QSerialPort::ResourceError && m_port->isOpen()) {
        m_port->close();
        m_reopen->start();
    }
}

void SimSerialLine::write(const QByteArray &bytes)
{
    if (m_port->isOpen())
        m_port->write(bytes);
}
