#ifndef KORVEX_YMODEMPACKET_H
#define KORVEX_YMODEMPACKET_H

#include <QtGlobal>

// The framing of one YModem block: a start byte (SOH for 128 data bytes, STX
// for 1024), the block number and its complement, the data, and the CRC-16
// of the data, high byte first.
namespace YmodemPacket {

constexpr quint8 Soh = 0x01;
constexpr quint8 Stx = 0x02;
constexpr quint32 SmallBlock = 128;
constexpr quint32 LargeBlock = 1024;
constexpr quint32 Overhead = 5; // start byte, number, complement, two CRC bytes
constexpr quint32 PacketMax = LargeBlock + Overhead;

// CRC-16/XMODEM: polynomial 0x1021, initial 0, no reflection, no final XOR.
quint16 crc16(const quint8 *data, quint32 length);

// Frames the data already at packet + 3 as block `number`: a fill of more
// than 128 bytes goes in a 1024-byte block, the rest of which the caller
// has zeroed. Returns the packet's length.
quint32 frame(quint8 *packet, quint8 number, quint32 filled);

// True when the complete packet of dataLength data bytes is block `number`
// and its CRC matches.
bool isNumbered(const quint8 *packet, quint32 dataLength, quint8 number);

} // namespace YmodemPacket

#endif
