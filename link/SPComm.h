#ifndef KORVEX_SPCOMM_H
#define KORVEX_SPCOMM_H

#include <QByteArray>
#include <QMutex>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

#include "LineSettings.h"

class QSerialPort;

// The serial port over which the program talks to the light source. It keeps
// the operator's line settings, opens and closes the port with them, writes
// request frames and collects reply bytes. All calls come from the command
// executor's worker thread; busMutex makes one request/reply exchange
// exclusive on the line.
class SPComm : public QObject
{
    Q_OBJECT
public:
    explicit SPComm(QObject *parent = nullptr);
    ~SPComm() override;

    // Applies the stored settings and opens the port; true at once when the
    // port is already open (the stored settings are then not applied).
    virtual bool openComm();
    virtual void closeComm();
    // Discards waiting input and clears both port buffers; false when closed.
    virtual bool clearComm();

    bool isCommOpen() const;
    void setCommName(const QString &name);
    void setCommBaud(int baud);
    int commBaud() const { return baudRate; }
    // The rates the device line is opened with; any other opens nothing.
    static const QList<int> &supportedBaudRates();
    // Milliseconds that `bytes` take on the line at the set rate (10 bits a
    // byte), rounded up; 0 while no supported rate is set.
    int lineTimeMs(int bytes) const;
    static int lineTimeMs(int bytes, int baud);
    void setCommStopBits(int code); // 0 one, 1 one and a half, 2 two
    void setCommParity(int code);   // 0 none, 1 odd, 2 even
    // All four at once, for the next open.
    void setLineSettings(const LineSettings &settings);
    QString commName() const;

    // Called before every exchange so that stale bytes are never taken for
    // the reply. Does nothing on a closed port.
    void clearPortBuf();
    // Writes all len bytes, flushing after each write call; len, or -1 on
    // the first failed write.
    int writeBytes(const char *data, int len);
    // One write call without flushing; the port's own result.
    qint64 writeArray(const QByteArray &frame);
    // Appends reply bytes to out until exactly expectedLen bytes are there,
    // the line has been quiet for more than 25 ms after some input, or more
    // than timeoutMs have passed. Returns the final size of out.
    int readReply(QByteArray &out, int expectedLen, int timeoutMs);
    // The same collection, ended at once when complete(out) says the reply
    // is whole (its known length has arrived and passes).
    int collectReply(QByteArray &out, const std::function<bool(const QByteArray &)> &complete, int timeoutMs);
    // Bytes that clearPortBuf and clearComm have thrown away so far: input
    // that no exchange was waiting for.
    quint64 discardedBytes() const { return discarded; }

    // Whether the device behind the open port has gone (adapter pulled, far
    // end of the line closed). Qt reports a read error both for that and for
    // a read that merely found nothing (bytes flushed after the read notifier
    // fired), so the error code alone proves nothing. Lost means: the device
    // node has disappeared, or the port keeps failing its reads without a
    // single byte for lossWindowMs (looked at every 20 ms, sleeping between,
    // so the caller's thread is blocked for at most that long but never
    // busy). A port that has data, or nothing to read and no error, is
    // healthy at the first look.
    bool deviceLost(int lossWindowMs);

    // The port object, so that the executor can move it onto its thread.
    QSerialPort *port() const { return serialPort; }
    // Hands the port object over to the caller; the channel no longer owns it.
    QSerialPort *releasePort();

    // The device node a port name stands for ("ttyUSB0" is /dev/ttyUSB0, a
    // path is itself), or empty where names are no paths.
    static QString deviceNodePath(const QString &portName);

private:
    bool readFailing() const;

    QSerialPort *serialPort = nullptr;
    QString portName;
    int baudRate = 115200;
    int stopBitsCode = 0;
    int parityCode = 0;
    quint64 discarded = 0;

public:
    // Held by the executor from before a request is written until its reply
    // has been judged; taken only with a short try-lock.
    QMutex busMutex;
};

#endif
