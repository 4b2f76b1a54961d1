// The YModem sending machine against a peer that answers with arbitrary
// bytes. The first two input bytes give the size of the file to send (its
// contents follow a fixed pattern), the third how the owner answers (bit 0:
// refuse the header); the rest is what the peer sends, a few bytes per step.
// Checked on every write: a block is exactly 133 or 1029 bytes with the right
// complement and CRC; the header names the file and its size; data blocks
// carry the file's bytes in order, numbered 1, 2, ..., padded with zeros; the
// callback is never asked for more data after it answered EOT.

#include "Ymodem.h"

#include "FuzzCheck.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {


quint8 fileByte(quint32 at)
{
    return quint8(at * 31 + 7);
}

class FuzzSender : public Ymodem
{
public:
    FuzzSender(quint32 fileSize, quint8 policy, const uint8_t *peer, size_t size)
        : Ymodem(3, 2, 6), fileBytes(fileSize), policyBits(policy), peerBytes(peer), peerSize(size)
    {
    }

    bool inputLeft() const { return peerPos < peerSize; }

    void step()
    {
        transmitStep();
        FUZZ_REQUIRE(stage >= StageIdle && stage <= StageClosing);
        FUZZ_REQUIRE(txLength <= PacketMax);
    }

protected:
    quint8 handleEvent(Event event, quint8 *buffer, quint32 *length) override
    {
        switch (event) {
        case EventHeader: {
            FUZZ_REQUIRE(buffer == txBuffer + 3 && length);
            for (quint32 i = 0; i < SmallBlock; ++i)
                FUZZ_REQUIRE(buffer[i] == 0);
            if (policyBits & 1)
                return CodeCan;
            const std::string text = std::string("fw.bin") + '\0' + std::to_string(fileBytes) + '\0';
            std::memcpy(buffer, text.data(), text.size());
            *length = SmallBlock;
            sentBytes = 0;
            exhausted = false;
            nextBlock = 1;
            return CodeAck;
        }
        case EventData: {
            FUZZ_REQUIRE(buffer == txBuffer + 3 && length);
            FUZZ_REQUIRE(!exhausted);
            for (quint32 i = 0; i < LargeBlock; ++i)
                FUZZ_REQUIRE(buffer[i] == 0);
            if (sentBytes == fileBytes) {
                exhausted = true;
                return CodeEot;
            }
            const quint32 left = fileBytes - sentBytes;
            const quint32 blockSize = left <= SmallBlock ? SmallBlock : LargeBlock;
            const quint32 n = left < blockSize ? left : blockSize;
            for (quint32 i = 0; i < n; ++i)
                buffer[i] = fileByte(sentBytes + i);
            blockStart = sentBytes;
            sentBytes += n;
            *length = blockSize;
            return CodeAck;
        }
        default:
            FUZZ_REQUIRE(!buffer && !length);
            FUZZ_REQUIRE(stage == StageIdle);
            exhausted = false;
            return CodeAck;
        }
    }

    quint32 readInput(quint8 *buffer, quint32 length) override
    {
        FUZZ_REQUIRE(buffer && length <= PacketMax);
        quint32 n = quint32(peerSize - peerPos);
        if (n > length)
            n = length;
        if (n > 3)
            n = 3;
        std::memcpy(buffer, peerBytes + peerPos, n);
        peerPos += n;
        return n;
    }

    quint32 writeOutput(quint8 *buffer, quint32 length) override
    {
        FUZZ_REQUIRE(buffer && length >= 1 && length <= PacketMax);
        if (buffer[0] == CodeSoh || buffer[0] == CodeStx) {
            const quint32 data = buffer[0] == CodeSoh ? SmallBlock : LargeBlock;
            FUZZ_REQUIRE(length == data + 5);
            FUZZ_REQUIRE(buffer[2] == quint8(~buffer[1]));
            FUZZ_REQUIRE(crc16(buffer + 3, data) == quint16((buffer[3 + data] << 8) | buffer[4 + data]));
            if (buffer[1] == 0) {
                // A header: the file's, or the all-zero closing one.
                const std::string name(reinterpret_cast<const char *>(buffer + 3));
                FUZZ_REQUIRE(name.empty() || name == "fw.bin");
            } else {
                // A data block: the one just filled, or a resend of the last.
                FUZZ_REQUIRE(buffer[1] == quint8(nextBlock) || buffer[1] == quint8(nextBlock - 1));
                if (buffer[1] == quint8(nextBlock)) {
                    for (quint32 i = 0; i < data; ++i) {
                        const quint32 at = blockStart + i;
                        FUZZ_REQUIRE(buffer[3 + i] == (at < fileBytes ? fileByte(at) : 0));
                    }
                    ++nextBlock;
                }
            }
        }
        return length;
    }

private:
    quint32 fileBytes;
    quint8 policyBits;
    const uint8_t *peerBytes;
    size_t peerSize;
    size_t peerPos = 0;
    quint32 sentBytes = 0;
    quint32 blockStart = 0;
    quint32 nextBlock = 1;
    bool exhausted = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const quint32 fileSize = quint32((data[0] << 8) | data[1]) % 5000;
    FuzzSender sender(fileSize, data[2], data + 3, size - 3);
    size_t steps = 0;
    while (sender.inputLeft()) {
        FUZZ_REQUIRE(++steps <= 4 * size + 16);
        sender.step();
    }
    for (int i = 0; i < 40; ++i)
        sender.step();
    return 0;
}
