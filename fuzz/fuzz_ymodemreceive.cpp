// The YModem receiving machine fed arbitrary line bytes. The first input
// byte chooses how the owner answers (accept everything, refuse the header,
// refuse a data block) and how many bytes each read may return, so that
// blocks also arrive in pieces; the rest is what the line delivers. The
// machine is stepped until the bytes are used up and then idles until it
// gives up. Checked on every callback: only blocks with a matching CRC,
// complement and the next block number are passed on, headers only in the
// handshake, data only after an accepted header, lengths 128 or 1024, end
// events without buffers, never a write longer than a block.

#include "Ymodem.h"

#include "FuzzCheck.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {


class FuzzReceiver : public Ymodem
{
public:
    FuzzReceiver(const uint8_t *line, size_t size, uint8_t policy)
        // Short waits and a low error limit, so that giving up is reached too.
        : Ymodem(3, 2, 6), lineBytes(line), lineSize(size), policyBits(policy)
    {
    }

    bool inputLeft() const { return linePos < lineSize; }

    void step()
    {
        receiveStep();
        FUZZ_REQUIRE(stage >= StageIdle && stage <= StageClosing);
        FUZZ_REQUIRE(rxPhase >= 0 && rxPhase <= 2);
        FUZZ_REQUIRE(rxLength <= PacketMax);
    }

protected:
    quint8 handleEvent(Event event, quint8 *buffer, quint32 *length) override
    {
        switch (event) {
        case EventHeader:
            FUZZ_REQUIRE(buffer == rxBuffer + 3 && length);
            FUZZ_REQUIRE(*length == SmallBlock || *length == LargeBlock);
            FUZZ_REQUIRE(stage == StageHandshake);
            FUZZ_REQUIRE(rxBuffer[0] == (*length == SmallBlock ? CodeSoh : CodeStx));
            FUZZ_REQUIRE(rxBuffer[1] == 0x00 && rxBuffer[2] == 0xFF);
            FUZZ_REQUIRE(crcMatches(buffer, *length));
            inFile = false;
            if (policyBits & 0x01)
                return CodeCan;
            inFile = true;
            expectedBlock = 1;
            return CodeAck;
        case EventData: {
            FUZZ_REQUIRE(inFile);
            FUZZ_REQUIRE(buffer == rxBuffer + 3 && length);
            FUZZ_REQUIRE(*length == SmallBlock || *length == LargeBlock);
            FUZZ_REQUIRE(rxBuffer[0] == (*length == SmallBlock ? CodeSoh : CodeStx));
            FUZZ_REQUIRE(rxBuffer[1] == expectedBlock && rxBuffer[2] == quint8(~expectedBlock));
            FUZZ_REQUIRE(crcMatches(buffer, *length));
            // The owner may refuse the block whose number the policy names.
            if ((policyBits & 0x02) && expectedBlock == ((policyBits >> 2) & 0x07)) {
                inFile = false;
                return CodeCan;
            }
            ++expectedBlock;
            return CodeAck;
        }
        case EventEndOfFile:
            // The second EOT of a file whose header was taken; the policy
            // may refuse it (a short or unsaved file).
            FUZZ_REQUIRE(!buffer && !length);
            FUZZ_REQUIRE(stage == StageEnding);
            FUZZ_REQUIRE(inFile);
            if (policyBits & 0x40) {
                inFile = false;
                return CodeCan;
            }
            return CodeAck;
        case EventFinished:
        case EventCancelled:
        case EventTimedOut:
        case EventFailed:
            FUZZ_REQUIRE(!buffer && !length);
            FUZZ_REQUIRE(stage == StageIdle);
            inFile = false;
            return CodeAck;
        }
        std::abort(); // no other event exists
    }

    quint32 readInput(quint8 *buffer, quint32 length) override
    {
        FUZZ_REQUIRE(buffer && length <= PacketMax);
        // Reads return at most a few bytes when the policy says so.
        const quint32 limit = (policyBits & 0x20) ? 1u + (linePos % 37) : length;
        quint32 n = quint32(lineSize - linePos);
        if (n > length)
            n = length;
        if (n > limit)
            n = limit;
        std::memcpy(buffer, lineBytes + linePos, n);
        linePos += n;
        return n;
    }

    quint32 writeOutput(quint8 *buffer, quint32 length) override
    {
        FUZZ_REQUIRE(buffer && length >= 1 && length <= PacketMax);
        return length;
    }

private:
    static bool crcMatches(const quint8 *data, quint32 length)
    {
        return crc16(data, length) == quint16((data[length] << 8) | data[length + 1]);
    }

    const uint8_t *lineBytes;
    size_t lineSize;
    size_t linePos = 0;
    uint8_t policyBits;
    bool inFile = false;
    quint8 expectedBlock = 1;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    FuzzReceiver receiver(data + 1, size - 1, data[0]);
    // Every step in a running stage reads at least one byte while any are
    // left; a stage change takes at most one step without reading.
    size_t steps = 0;
    const size_t maxSteps = 4 * size + 16;
    while (receiver.inputLeft()) {
        FUZZ_REQUIRE(++steps <= maxSteps);
        receiver.step();
    }
    // Idle until the machine has given up (3 retry periods of 4 steps).
    for (int i = 0; i < 40; ++i)
        receiver.step();
    return 0;
}
