#include "YmodemPacket.h"

namespace YmodemPacket {

quint16 crc16(const quint8 *data, quint32 length)
{
    quint16 crc = 0;
    for (quint32 i = 0; i < length; ++i) {
        crc ^= quint16(data[i]) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

quint32 frame(quint8 *packet, quint8 number, quint32 filled)
{
    // A block carries exactly 128 or 1024 data bytes; a shorter fill is
    // padded by the zeroed data area.
    const quint32 length = filled > SmallBlock ? LargeBlock : SmallBlock;
    packet[0] = length > SmallBlock ? Stx : Soh;
    packet[1] = number;
    packet[2] = quint8(~number);
    const quint16 crc = crc16(packet + 3, length);
    packet[3 + length] = quint8(crc >> 8);
    packet[4 + length] = quint8(crc & 0xFF);
    return length + Overhead;
}

bool isNumbered(const quint8 *packet, quint32 dataLength, quint8 number)
{
    if (packet[1] != number || packet[2] != quint8(~number))
        return false;
    const quint16 expected = quint16((packet[3 + dataLength] << 8) | packet[4 + dataLength]);
    return crc16(packet + 3, dataLength) == expected;
}

} // namespace YmodemPacket
