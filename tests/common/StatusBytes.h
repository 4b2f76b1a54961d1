#ifndef KORVEX_TESTS_STATUSBYTES_H
#define KORVEX_TESTS_STATUSBYTES_H

// Builds the 54 data bytes of an all-status reply at their offsets.

#include "Protocol.h"

#include <QByteArray>

class StatusBytes
{
public:
    StatusBytes() : payload(54, '\0') {}

    StatusBytes &u8(int offset, quint8 v) { payload[offset] = char(v); return *this; }
    StatusBytes &u16(int offset, quint16 v)
    {
        payload[offset] = char(v >> 8);
        payload[offset + 1] = char(v);
        return *this;
    }
    StatusBytes &s16(int offset, qint16 v) { return u16(offset, quint16(v)); }
    StatusBytes &u32(int offset, quint32 v) { return u16(offset, quint16(v >> 16)).u16(offset + 2, quint16(v)); }
    StatusBytes &bytes(int offset, const QByteArray &b)
    {
        payload.replace(offset, b.size(), b);
        return *this;
    }

    QByteArray data() const { return payload; }
    QByteArray frame() const { return Protocol().packFrame(0x00C1, payload); }

    // A device with every field set to a distinct, recognisable value.
    static StatusBytes sample()
    {
        StatusBytes s;
        s.u8(0, 1).u8(1, 5)             // V1.5
            .u8(2, 0x01).u8(3, 0x0A)    // laser on; fan 1 and fan 3 alarms
            .u16(4, 640)                // power
            .s16(6, 455)                // 45.5℃
            .u32(8, 123456).u32(12, 654321)
            .bytes(16, QByteArray::fromHex("010203180709002A"))
            .u32(24, 7200)              // 2H
            .u32(28, 36)
            .u16(32, 3000).u16(34, 3100).u16(36, 3200)
            .u16(38, 1234)              // 1.23 A
            .u16(40, 560)               // 0.56 A
            .s16(42, -15)               // -1.5 ℃
            .s16(44, 253)               // 25.3 ℃
            .u16(46, 3900)
            .u8(48, 2)                  // Ld-50W
            .u8(49, 0xEE)               // not used
            .s16(50, 412).s16(52, 237);
        return s;
    }

private:
    QByteArray payload;
};

#endif
