// The main window's handling of read replies and write results, without the
// window: dispatch by command word, the status and PID decoders, the display
// texts and lamps, and the wording and echo of write results, all fed
// arbitrary frames. The status cache starts from a complete status reply, so
// that a short reply that changed it (or was read past its end) shows.

#include "DevStatusCache.h"
#include "Protocol.h"
#include "StatusDecoder.h"
#include "StatusFormat.h"
#include "WriteResult.h"

#include "FuzzCheck.h"

#include <cstdint>
#include <cstdlib>

namespace {


QByteArray withCrc(QByteArray frame)
{
    const quint16 crc = Protocol::modbusCrc16(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

DevStatusCache startCache()
{
    QByteArray frame = QByteArray::fromHex("0100C1");
    for (int i = 0; i < 54; ++i)
        frame.append(char(i * 7 + 3));
    DevStatusCache cache;
    FUZZ_REQUIRE(StatusDecoder::parseAllStatus(cache, withCrc(frame)));
    StatusDecoder::decodeAlarmBits(cache);
    StatusDecoder::decodeLaserState(cache);
    return cache;
}

// Everything the operator sees of a cache.
struct Display
{
    QVector<QPair<QString, QString>> fields;
    QVector<QPair<QString, bool>> lamps;
    QByteArray serial;
    bool operator==(const Display &o) const { return fields == o.fields && lamps == o.lamps && serial == o.serial; }
};

Display display(const DevStatusCache &cache)
{
    return {StatusFormat::fieldTexts(cache), StatusFormat::lampStates(cache), cache.serialNum};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const DevStatusCache start = startCache();
    static const Display startDisplay = display(start);
    // Exactly the input's bytes: the array's own storage ends where they end.
    const QByteArray frame(reinterpret_cast<const char *>(data), int(size));

    // Read reply dispatch.
    DevStatusCache cache = start;
    const quint16 word = StatusDecoder::commandWord(frame);
    FUZZ_REQUIRE(size >= 3 || word == 0);
    const int needed = StatusDecoder::requiredFrameSize(word);
    const bool changed = StatusDecoder::applyReadReply(cache, word, frame);
    if (changed) {
        FUZZ_REQUIRE(needed > 0 && int(size) >= needed);
        StatusDecoder::decodeAlarmBits(cache);
        StatusDecoder::decodeLaserState(cache);
    } else {
        FUZZ_REQUIRE(display(cache) == startDisplay);
    }
    if (int(size) < needed)
        FUZZ_REQUIRE(display(cache) == startDisplay);
    // The texts of any cache the decoder produced.
    for (const auto &field : StatusFormat::fieldTexts(cache))
        FUZZ_REQUIRE(!field.first.isEmpty());
    FUZZ_REQUIRE(StatusFormat::lampStates(cache).size() == 6);
    StatusFormat::formatSerialNumber(frame);

    // A short all-status reply never gets into the cache.
    DevStatusCache direct = start;
    if (!StatusDecoder::parseAllStatus(direct, frame))
        FUZZ_REQUIRE(display(direct) == startDisplay);
    else
        FUZZ_REQUIRE(int(size) >= StatusDecoder::AllStatusFrameSize);

    // The PID reply always gives 16 values, the last 11 zero.
    const QVector<quint32> pid = StatusDecoder::decodePidReply(frame);
    FUZZ_REQUIRE(pid.size() == 16);
    for (int i = 5; i < 16; ++i)
        FUZZ_REQUIRE(pid[i] == 0);

    // The input as a sent frame: any result code gets one log line, and the
    // echo of a frame too short for its value leaves the cache alone.
    const quint8 result = size > 0 ? data[0] : 0;
    const QString message = WriteResult::logMessage(result, frame);
    FUZZ_REQUIRE(message.endsWith(QLatin1Char('\n')) && message.size() > 1);
    FUZZ_REQUIRE((result == 0) == (WriteResult::resultText(result) == QStringLiteral("成功")));
    DevStatusCache echoed = start;
    if (!WriteResult::applyWriteEcho(echoed, frame))
        FUZZ_REQUIRE(display(echoed) == startDisplay);
    return 0;
}
