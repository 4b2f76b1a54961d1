#ifndef KORVEX_TESTS_YMODEMBLOCKS_H
#define KORVEX_TESTS_YMODEMBLOCKS_H

// YModem blocks as they go on the wire, for tests that play a peer by hand.

#include "Ymodem.h"

#include <QByteArray>

// A block as it goes on the wire.
inline QByteArray makeBlock(quint8 number, const QByteArray &data, int size)
{
    QByteArray d = data.left(size);
    d.append(QByteArray(size - d.size(), '\0'));
    QByteArray b;
    b.append(char(size == 128 ? 0x01 : 0x02));
    b.append(char(number));
    b.append(char(~number));
    b.append(d);
    const quint16 crc = Ymodem::crc16(reinterpret_cast<const quint8 *>(d.constData()), quint32(size));
    b.append(char(crc >> 8));
    b.append(char(crc & 0xFF));
    return b;
}

inline QByteArray makeHeader(const QByteArray &name, const QByteArray &sizeText)
{
    return makeBlock(0, name + '\0' + sizeText + '\0', 128);
}

#endif
