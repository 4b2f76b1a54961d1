#include "YmodemSender.h"

#include <cstring>

void YmodemSender::start()
{
    e.restarts = 0;
    e.enterStage(Ymodem::StageHandshake, 0);
}

void YmodemSender::handshake(quint32 input)
{
    if (input == Ymodem::CodeC) {
        sendHeader();
    } else if (Ymodem::isPeerCancel(input)) {
        e.peerCancel();
    } else {
        e.idleRule(Ymodem::EventTimedOut); // the sender never prompts
    }
}

void YmodemSender::headerDone(quint32 input)
{
    if (input == Ymodem::CodeAck) {
        if (e.blockNumber != 0) {
            // Block 1 or the EOT is already prepared: this is a repeated ACK
            // of the header. Asking the owner again would skip file data.
            e.errorRule();
            return;
        }
        const quint8 answer = fetchBlock();
        if (answer == Ymodem::CodeEot) {
            // An empty file: its EOT waits for the receiver's "C" as block 1
            // would, so that the receiver takes it as the end, not as noise.
            e.enterStage(Ymodem::StageHeaderDone, 2);
            holdEndOfFile();
        } else if (answer == Ymodem::CodeAck) {
            buildBlock(1);
            e.enterStage(Ymodem::StageHeaderDone, 1);
        } else {
            e.refuse();
        }
    } else if (input == Ymodem::CodeC) {
        if (e.errorRule()) {
            e.clearCounters();
            e.rxPhase = 0;
            sendHeld();
        }
    } else if (input == Ymodem::CodeNak) {
        if (e.errorRule())
            sendHeld();
    } else if (Ymodem::isPeerCancel(input)) {
        e.peerCancel();
    } else if (e.idleRule(Ymodem::EventFailed)) {
        sendHeld();
    }
}

void YmodemSender::data(quint32 input)
{
    if (input == Ymodem::CodeAck) {
        const quint8 answer = fetchBlock();
        if (answer == Ymodem::CodeEot) {
            e.enterStage(Ymodem::StageEnding, 0);
            holdEndOfFile();
            sendPacket();
        } else if (answer == Ymodem::CodeAck) {
            const quint8 next = quint8(e.blockNumber + 1);
            buildBlock(next);
            e.enterStage(Ymodem::StageData, next);
            sendPacket();
        } else {
            e.refuse();
        }
    } else if (input == Ymodem::CodeNak) {
        if (e.errorRule())
            sendPacket();
    } else {
        otherwise(input);
    }
}

void YmodemSender::ending(quint32 input)
{
    if (input == Ymodem::CodeAck) {
        // The receiver took the end of the file: the file is delivered. Its
        // "C" asks for the closing header next.
        e.clearCounters();
        e.markDelivered(false);
    } else if (input == Ymodem::CodeNak) {
        // The receiver has not taken the end yet (an ACK seen before was a
        // late answer to a repeated block).
        e.delivered = false;
        e.enterStage(Ymodem::StageEnding, 0);
        holdEndOfFile();
        sendPacket();
    } else if (input == Ymodem::CodeC && !e.delivered) {
        receiverStartedOver();
    } else if (input == Ymodem::CodeC) {
        std::memset(e.txBuffer + 3, 0, Ymodem::SmallBlock);
        e.txLength = Ymodem::SmallBlock;
        buildBlock(0); // all zero: CRC 0x0000
        e.enterStage(Ymodem::StageClosing, 0);
        e.markDelivered(true);
        sendPacket();
    } else {
        otherwise(input);
    }
}

void YmodemSender::closing(quint32 input)
{
    if (input == Ymodem::CodeAck) {
        e.reset();
        e.handleEvent(Ymodem::EventFinished, nullptr, nullptr);
    } else if (input == Ymodem::CodeNak || input == Ymodem::CodeC) {
        if (e.errorRule())
            sendPacket();
    } else {
        otherwise(input, closingRepeatTicks());
    }
}

void YmodemSender::otherwise(quint32 input, quint32 repeatTicks)
{
    if (Ymodem::isPeerCancel(input))
        e.peerCancel();
    else if (e.idleRule(Ymodem::EventFailed, repeatTicks))
        sendPacket();
}

// The owner fills the zeroed data area with the next block, or answers EOT
// at the end of the file.
quint8 YmodemSender::fetchBlock()
{
    std::memset(e.txBuffer + 3, 0, Ymodem::LargeBlock);
    e.txLength = Ymodem::LargeBlock;
    return e.handleEvent(Ymodem::EventData, e.txBuffer + 3, &e.txLength);
}

void YmodemSender::buildBlock(quint8 number)
{
    e.txLength = YmodemPacket::frame(e.txBuffer, number, e.txLength);
}

void YmodemSender::holdEndOfFile()
{
    e.txBuffer[0] = Ymodem::CodeEot;
    e.txLength = 1;
}

// The owner fills the header: 128 bytes, or 1024 when the name needs them.
void YmodemSender::sendHeader()
{
    std::memset(e.txBuffer + 3, 0, Ymodem::LargeBlock);
    e.txLength = Ymodem::SmallBlock;
    if (e.handleEvent(Ymodem::EventHeader, e.txBuffer + 3, &e.txLength) != Ymodem::CodeAck) {
        e.refuse();
        return;
    }
    buildBlock(0);
    e.delivered = false;
    e.enterStage(Ymodem::StageHeaderDone, 0);
    sendPacket();
}

// The sender holds block 1 (blockNumber 1) or an early EOT (2) until the
// receiver asks for it. Once it is on the line, the stage says so, so that the
// ACK that answers it is read as such and never fetches file data twice.
void YmodemSender::sendHeld()
{
    e.stage += e.blockNumber;
    sendPacket();
}

void YmodemSender::sendPacket()
{
    if (e.purgeInput(true)) {
        e.peerCancel();
        return;
    }
    e.writeOutput(e.txBuffer, e.txLength);
}

// A "C" where the ACK of the EOT is due. Only that ACK says that the file
// arrived, and a receiver that asks for a header has started over (a boot
// loader that reset): it would take another EOT for the end of a file it
// never got. It gets the whole file again from its header, a bounded number
// of times; then the send fails.
void YmodemSender::receiverStartedOver()
{
    if (!e.errorRule())
        return;
    if (e.restarts >= Ymodem::RestartLimit) {
        e.giveUp(Ymodem::EventFailed);
        return;
    }
    e.restarts += 1;
    sendHeader();
}

// A receiver that throws away its input right after its prompt (lrzsz's rb
// does) may lose the closing header that answered the prompt; without an ACK
// the header goes out again after a fiftieth of a retry period, so that it
// reaches such a receiver before the delivered file ends the session.
quint32 YmodemSender::closingRepeatTicks() const
{
    const quint32 ticks = (quint32(e.retryDivider) + 1) / 50;
    return ticks > 0 ? ticks : 1;
}
