#include "SPComm.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QThread>

namespace {

// Waits of this length make up every reply collection.
constexpr int PollWaitMs = 50;
// Silence after a chunk that ends a reply shorter than expected.
constexpr int GapMs = 25;
constexpr qint64 ReadBufferSize = 1024;
// Pause after a wait that a failing port ended at once, so that collecting a
// reply from a vanished device does not spin.
constexpr int FailedWaitPauseMs = 10;
// Pause between two looks at a port suspected lost.
constexpr int LossProbePauseMs = 20;

bool isKnownBaud(int baud)
{
    return SPComm::supportedBaudRates().contains(baud);
}

} // namespace

const QList<int> &SPComm::supportedBaudRates()
{
    static const QList<int> rates{1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    return rates;
}

int SPComm::lineTimeMs(int bytes) const
{
    if (!isKnownBaud(m_baud))
        return 0;
    return int((qint64(bytes) * 10 * 1000 + m_baud - 1) / m_baud);
}

SPComm::SPComm(QObject *parent) : QObject(parent), m_port(new QSerialPort) {}

SPComm::~SPComm()
{
    delete m_port;
}

bool SPComm::openComm()
{
    if (!m_port)
        return false;
    if (m_port->isOpen())
        return true;
    // Opened as the device the name leads to, so that its lock is the same
    // under every name (a link, /dev/serial/by-id/...) and a second program
    // finds it busy whichever name it uses.
    const QString target = QFileInfo(m_name).canonicalFilePath();
    m_port->setPortName(m_name.contains(QLatin1Char('/')) && !target.isEmpty() ? target : m_name);
    // -1 is the port's value for a rate it does not know.
    m_port->setBaudRate(isKnownBaud(m_baud) ? m_baud : -1, QSerialPort::AllDirections);
    switch (m_parityCode) {
    case 1: m_port->setParity(QSerialPort::OddParity); break;
    case 2: m_port->setParity(QSerialPort::EvenParity); break;
    default: m_port->setParity(QSerialPort::NoParity); break;
    }
    switch (m_stopBitsCode) {
    case 0: m_port->setStopBits(QSerialPort::OneStop); break;
    case 1: m_port->setStopBits(QSerialPort::OneAndHalfStop); break;
    case 2: m_port->setStopBits(QSerialPort::TwoStop); break;
    default: break;
    }
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    m_port->setReadBufferSize(ReadBufferSize);
    // A fresh start: an error left from a port that vanished is history.
    m_port->clearError();
    return m_port->open(QIODevice::ReadWrite);
}

void SPComm::closeComm()
{
    if (m_port && m_port->isOpen())
        m_port->close();
}

bool SPComm::clearComm()
{
    if (!isCommOpen())
        return false;
    m_port->readAll();
    m_port->clear(QSerialPort::AllDirections);
    return true;
}

bool SPComm::isCommOpen() const
{
    return m_port && m_port->isOpen();
}

void SPComm::setCommName(const QString &name) { m_name = name; }
void SPComm::setCommBaud(int baud) { m_baud = baud; }
void SPComm::setCommStopBits(int code) { m_stopBitsCode = code; }
void SPComm::setCommParity(int code) { m_parityCode = code; }
QString SPComm::commName() const { return m_name; }

void SPComm::clearPortBuf()
{
    clearComm();
}

int SPComm::writeBytes(const char *data, int len)
{
    if (!m_port)
        return -1;
    int done = 0;
    while (done < len) {
        const qint64 n = m_port->write(data + done, len - done);
        m_port->flush();
        if (n < 0)
            return -1;
        done += int(n);
    }
    return len;
}

qint64 SPComm::writeArray(const QByteArray &frame)
{
    if (!m_port)
        return -1;
    return m_port->write(frame);
}

int SPComm::readReply(QByteArray &out, int expectedLen, int timeoutMs)
{
    if (!m_port)
        return out.size();
    QElapsedTimer total;
    QElapsedTimer gap; // invalid until the first chunk
    total.start();
    for (;;) {
        QElapsedTimer wait;
        wait.start();
        if (m_port->waitForReadyRead(PollWaitMs)) {
            out.append(m_port->readAll());
            gap.start();
            if (out.size() == expectedLen)
                break;
        } else if (gap.isValid() && gap.elapsed() > GapMs) {
            break;
        } else if (wait.elapsed() < FailedWaitPauseMs && readFailing()) {
            QThread::msleep(FailedWaitPauseMs);
        }
        if (total.elapsed() > timeoutMs)
            break;
    }
    return out.size();
}

bool SPComm::readFailing() const
{
    const QSerialPort::SerialPortError e = m_port->error();
    return e == QSerialPort::ReadError || e == QSerialPort::ResourceError;
}

QString SPComm::deviceNodePath(const QString &portName)
{
#ifdef Q_OS_UNIX
    // The port takes "ttyUSB0" as /dev/ttyUSB0 and a path as it is.
    if (portName.isEmpty())
        return QString();
    return portName.contains(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
#else
    Q_UNUSED(portName);
    return QString();
#endif
}

bool SPComm::deviceLost(int lossWindowMs)
{
    if (!isCommOpen())
        return false;
    const QString node = deviceNodePath(m_name);
    QElapsedTimer failing;
    failing.start();
    for (;;) {
        if (!node.isEmpty() && !QFileInfo::exists(node))
            return true;
        if (m_port->bytesAvailable() > 0)
            return false;
        // A zero wait reads whatever the line holds; it fails with a read
        // error only while the line reports readable and gives nothing.
        m_port->clearError();
        if (m_port->waitForReadyRead(0) || !readFailing())
            return false;
        if (failing.elapsed() >= lossWindowMs)
            return true;
        QThread::msleep(LossProbePauseMs);
    }
}

QSerialPort *SPComm::releasePort()
{
    QSerialPort *p = m_port;
    m_port = nullptr;
    return p;
}
