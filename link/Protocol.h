#ifndef KORVEX_PROTOCOL_H
#define KORVEX_PROTOCOL_H

#include <QByteArray>
#include <QObject>

// Frame codec of the device line. A frame is: address 0x01, command word
// (high byte first), data, CRC-16/MODBUS (low byte first). Stateless.
class Protocol : public QObject
{
    Q_OBJECT
public:
    // Size of the caller's buffer for the buffer form of packFrame.
    static constexpr int FrameBufferSize = 1024;
    static constexpr int MaxBufferedData = FrameBufferSize - 5;

    explicit Protocol(QObject *parent = nullptr);

    // The whole request frame as a new array (write commands).
    QByteArray packFrame(quint16 word, const QByteArray &data) const;
    // The same bytes into a FrameBufferSize buffer (read commands). Returns the
    // frame length, or 0 without touching the buffer when the data would not
    // fit (more than MaxBufferedData bytes).
    quint16 packFrame(quint16 word, const QByteArray &data, quint8 *out) const;
    // 0 when well formed; -1 shorter than 4 bytes; 5 wrong address; 3 bad CRC.
    int checkFrame(const QByteArray &reply) const;

    // The two CRC registers over len bytes: first goes on the wire first
    // (the low byte of the CRC-16/MODBUS value), second after it.
    static void modbusCrc(const quint8 *bytes, int len, quint8 &first, quint8 &second);
    static quint16 modbusCrc16(const QByteArray &bytes); // (second << 8) | first
};

#endif
