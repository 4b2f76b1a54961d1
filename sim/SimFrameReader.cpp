#include "SimFrameReader.h"

#include "Protocol.h"
#include "SimDevice.h"

QList<QByteArray> SimFrameReader::takeFrames(bool lineQuiet)
{
    QList<QByteArray> frames;
    while (!buffer.isEmpty()) {
        const int len = headFrameLength(lineQuiet);
        if (len == 0)
            break;
        if (len < 0) {
            dropHead();
            continue;
        }
        frames.append(buffer.left(len));
        buffer.remove(0, len);
    }
    return frames;
}

QByteArray SimFrameReader::takeDropped()
{
    QByteArray out;
    out.swap(recentDrops);
    return out;
}

void SimFrameReader::dropHead()
{
    // Keep the trace bounded even under a flood of garbage.
    if (recentDrops.size() < 4096)
        recentDrops.append(buffer[0]);
    buffer.remove(0, 1);
    ++dropped;
}

int SimFrameReader::headFrameLength(bool lineQuiet) const
{
    const int have = buffer.size();
    if (quint8(buffer[0]) != 0x01)
        return -1;
    if (have < 3)
        return lineQuiet ? -1 : 0; // a stale fragment once the line is quiet
    const quint16 word = quint16((quint8(buffer[1]) << 8) | quint8(buffer[2]));
    const int fixed = SimDevice::requestDataLength(word);

    if (fixed >= 0) {
        const int total = 5 + fixed;
        if (have < total)
            return lineQuiet ? -1 : 0;
        return crcMatches(total) ? total : -1;
    }

    // Variable length: the usual size is taken as soon as it checks out;
    // otherwise the shortest length with a matching CRC once the line is
    // quiet (or once more bytes arrived than any request can hold).
    const int typical = SimDevice::typicalDataLength(word);
    if (typical >= 0 && have >= 5 + typical && crcMatches(5 + typical))
        return 5 + typical;
    if (!lineQuiet && have < 5 + MaxDataLength)
        return 0;
    const int found = shortestCrcMatch(0, qMin(have - 5, MaxDataLength));
    return found > 0 ? found : -1;
}

int SimFrameReader::shortestCrcMatch(int minData, int maxData) const
{
    // One running CRC-16/MODBUS over the head of the buffer checks every
    // length in a single pass (bitwise form, so it can be extended byte by byte).
    const auto *b = reinterpret_cast<const quint8 *>(buffer.constData());
    quint16 crc = 0xFFFF;
    auto feed = [&crc](quint8 byte) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    };
    for (int i = 0; i < 3 + minData; ++i)
        feed(b[i]);
    for (int n = minData; n <= maxData; ++n) {
        if (b[3 + n] == quint8(crc & 0xFF) && b[4 + n] == quint8(crc >> 8))
            return 5 + n;
        feed(b[3 + n]);
    }
    return 0;
}

bool SimFrameReader::crcMatches(int frameLength) const
{
    quint8 first, second;
    Protocol::modbusCrc(reinterpret_cast<const quint8 *>(buffer.constData()), frameLength - 2, first, second);
    return quint8(buffer[frameLength - 2]) == first && quint8(buffer[frameLength - 1]) == second;
}
