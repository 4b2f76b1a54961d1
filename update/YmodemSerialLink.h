#ifndef KORVEX_YMODEMSERIALLINK_H
#define KORVEX_YMODEMSERIALLINK_H

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>

#include <functional>

class QObject;
class QSerialPort;

// The serial port a file transfer runs on: 8N1 without flow control, opened
// fresh for each transfer and closed when its end has been reported.
class YmodemSerialLink
{
public:
    // The engine takes one step per StepMs; the end of a transfer is reported
    // EndDelayMs after it, when the port is closed.
    static constexpr int StepMs = 10;
    static constexpr int EndDelayMs = 100;

    YmodemSerialLink();
    ~YmodemSerialLink();
    YmodemSerialLink(const YmodemSerialLink &) = delete;
    YmodemSerialLink &operator=(const YmodemSerialLink &) = delete;

    void setPortName(const QString &name);
    void setBaud(int rate);

    // Opens the port and drops bytes and errors left from an earlier session;
    // on failure *error says why.
    bool open(QString *error);
    void close();
    bool isOpen() const;

    // True when the line went away (unplugged, read or write failed) and no
    // byte it delivered before is left to read: the last bytes of a transfer
    // (the final ACK, say) are used before the error ends it.
    bool lostAndDrained() const;
    QString errorString() const;

    quint32 read(quint8 *buffer, quint32 length);
    quint32 write(const quint8 *buffer, quint32 length);
    qint64 bytesAvailable() const;

    // True while the bytes written last are still going out at the line
    // rate (10 bits a byte): a 1029-byte block takes 8.6 s at 1200 baud, so
    // waiting for its answer starts only once it has left.
    bool lineBusy() const;

    // Calls `handler` (in `context`'s thread) whenever bytes arrive. With
    // `flushEachWrite` every write is handed to the line at once instead of
    // at the next turn of the event loop.
    void onArrival(QObject *context, std::function<void()> handler);
    void setFlushEachWrite(bool on) { flushEachWrite = on; }

    // The line settings every port of the update path starts with.
    static void applyDefaults(QSerialPort *port);

private:
    QSerialPort *port;
    int baud = 115200;
    bool flushEachWrite = false;
    QElapsedTimer clock;
    qint64 lineFreeAtNs = 0;
};

#endif
