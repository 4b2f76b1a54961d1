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
    return lineTimeMs(bytes, baudRate);
}

int SPComm::lineTimeMs(int bytes, int baud)
{
    if (!isKnownBaud(baud))
        return 0;
    return int((qint64(bytes) * 10 * 1000 + baud - 1) / baud);
}

SPComm::SPComm(QObject *parent) : QObject(parent), serialPort(new QSerialPort) {}

SPComm::~SPComm()
{
    delete serialPort;
}

bool SPComm::openComm()
{
    if (!serialPort)
        return false;
    if (serialPort->isOpen())
        return true;
    // Opened as the device the name leads to, so that its lock is the same
    // under every name (a link, /dev/serial/by-id/...) and a second program
    // finds it busy whichever name it uses.
    const QString target = QFileInfo(portName).canonicalFilePath();
    serialPort->setPortName(portName.contains(QLatin1Char('/')) && !target.isEmpty() ? target : portName);
    // -1 is the port's value for a rate it does not know.
    serialPort->setBaudRate(isKnownBaud(baudRate) ? baudRate : -1, QSerialPort::AllDirections);
    switch (parityCode) {
    case 1: serialPort->setParity(QSerialPort::OddParity); break;
    case 2: serialPort->setParity(QSerialPort::EvenParity); break;
    default: serialPort->setParity(QSerialPort::NoParity); break;
    }
    switch (stopBitsCode) {
    case 0: serialPort->setStopBits(QSerialPort::OneStop); break;
    case 1: serialPort->setStopBits(QSerialPort::OneAndHalfStop); break;
    case 2: serialPort->setStopBits(QSerialPort::TwoStop); break;
    default: break;
    }
    serialPort->setDataBits(QSerialPort::Data8);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);
    serialPort->setReadBufferSize(ReadBufferSize);
    // A fresh start: an error left from a port that vanished is history.
    serialPort->clearError();
    return serialPort->open(QIODevice::ReadWrite);
}

void SPComm::closeComm()
{
    if (serialPort && serialPort->isOpen())
        serialPort->close();
}

bool SPComm::clearComm()
{
    if (!isCommOpen())
        return false;
    discarded += quint64(serialPort->readAll().size());
    serialPort->clear(QSerialPort::AllDirections);
    return true;
}

bool SPComm::isCommOpen() const
{
    return serialPort && serialPort->isOpen();
}

void SPComm::setCommName(const QString &name) { portName = name; }
void SPComm::setCommBaud(int baud) { baudRate = baud; }
void SPComm::setCommStopBits(int code) { stopBitsCode = code; }
void SPComm::setCommParity(int code) { parityCode = code; }
QString SPComm::commName() const { return portName; }

void SPComm::setLineSettings(const LineSettings &settings)
{
    portName = settings.name;
    baudRate = settings.baud;
    // The codes are the enums' order: one, one and a half, two; none, odd, even.
    stopBitsCode = int(settings.stopBits);
    parityCode = int(settings.parity);
}

void SPComm::clearPortBuf()
{
    clearComm();
}

int SPComm::writeBytes(const char *data, int len)
{
    if (!serialPort)
        return -1;
    int done = 0;
    while (done < len) {
        const qint64 n = serialPort->write(data + done, len - done);
        serialPort->flush();
        if (n < 0)
            return -1;
        done += int(n);
    }
    return len;
}

qint64 SPComm::writeArray(const QByteArray &frame)
{
    if (!serialPort)
        return -1;
    return serialPort->write(frame);
}

int SPComm::readReply(QByteArray &out, int expectedLen, int timeoutMs)
{
    return collectReply(out, [expectedLen](const QByteArray &bytes) { return bytes.size() == expectedLen; },
                        timeoutMs);
}

int SPComm::collectReply(QByteArray &out, const std::function<bool(const QByteArray &)> &complete, int timeoutMs)
{
    if (!serialPort)
        return out.size();
    QElapsedTimer total;
    QElapsedTimer gap; // invalid until the first chunk
    total.start();
    for (;;) {
        QElapsedTimer wait;
        wait.start();
        if (serialPort->waitForReadyRead(PollWaitMs)) {
            out.append(serialPort->readAll());
            gap.start();
            if (complete(out))
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
    const QSerialPort::SerialPortError e = serialPort->error();
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
    const QString node = deviceNodePath(portName);
    QElapsedTimer failing;
    failing.start();
    for (;;) {
        if (!node.isEmpty() && !QFileInfo::exists(node))
            return true;
        if (serialPort->bytesAvailable() > 0)
            return false;
        // A zero wait reads whatever the line holds; it fails with a read
        // error only while the line reports readable and gives nothing.
        serialPort->clearError();
        if (serialPort->waitForReadyRead(0) || !readFailing())
            return false;
        if (failing.elapsed() >= lossWindowMs)
            return true;
        QThread::msleep(LossProbePauseMs);
    }
}

QSerialPort *SPComm::releasePort()
{
    QSerialPort *p = serialPort;
    serialPort = nullptr;
    return p;
}
