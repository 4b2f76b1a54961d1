// Reply check of the frame codec against arbitrary bytes. A reply may only
// pass when it is at least 4 bytes long, starts with the address 0x01 and
// ends with the CRC-16/MODBUS of everything before it (computed here bit by
// bit, independently of the codec's tables). Every frame the codec builds
// from the same bytes must pass its own check.

#include "Protocol.h"

#include "FuzzCheck.h"

#include <cstdint>
#include <cstdlib>

namespace {

quint16 referenceCrc(const quint8 *bytes, size_t len)
{
    quint16 crc = 0xFFFF;
    for (size_t i = 0; i < len; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}


} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Protocol codec;
    const QByteArray reply(reinterpret_cast<const char *>(data), int(size));
    const int verdict = codec.checkFrame(reply);

    const bool wellFormed = size >= 4 && data[0] == 0x01
        && referenceCrc(data, size - 2) == quint16(data[size - 2] | (data[size - 1] << 8));
    FUZZ_REQUIRE((verdict == 0) == wellFormed);
    if (size < 4)
        FUZZ_REQUIRE(verdict == -1);
    else if (data[0] != 0x01)
        FUZZ_REQUIRE(verdict == 5);
    else if (!wellFormed)
        FUZZ_REQUIRE(verdict == 3);

    // The input as command word and data: both forms of the built frame agree
    // and pass the check.
    if (size >= 2) {
        const quint16 word = quint16((data[0] << 8) | data[1]);
        const QByteArray payload = reply.mid(2);
        const QByteArray frame = codec.packFrame(word, payload);
        FUZZ_REQUIRE(frame.size() == payload.size() + 5);
        FUZZ_REQUIRE(codec.checkFrame(frame) == 0);
        quint8 buffer[Protocol::FrameBufferSize];
        const quint16 len = codec.packFrame(word, payload, buffer);
        if (payload.size() <= Protocol::MaxBufferedData)
            FUZZ_REQUIRE(len == frame.size() && QByteArray(reinterpret_cast<char *>(buffer), len) == frame);
        else
            FUZZ_REQUIRE(len == 0);
    }
    return 0;
}
