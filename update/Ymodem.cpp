#include "Ymodem.h"

#include <cstring>

namespace {
// Inside block bytes a single CAN is data; a run this long is a peer's
// cancel (every implementation sends at least five).
constexpr quint32 kCancelRun = 3;
}

Ymodem::Ymodem(int retryDivider, int timeoutLimit, int errorLimit)
    : retryDivider(retryDivider), timeoutLimit(timeoutLimit), errorLimit(errorLimit),
      idleTicks(0), errorCount(0), blockNumber(0), rxPhase(0), stage(StageIdle),
      rxLength(0), txLength(0), rxProgress(false), timedStep(true), delivered(false), graceTicks(0),
      restarts(0)
{
    std::memset(rxBuffer, 0, sizeof rxBuffer);
    std::memset(txBuffer, 0, sizeof txBuffer);
}

void Ymodem::setRetryDivider(int value) { retryDivider = value; }
void Ymodem::setTimeoutLimit(int value) { timeoutLimit = value; }
void Ymodem::setErrorLimit(int value) { errorLimit = value; }

quint16 Ymodem::crc16(const quint8 *data, quint32 length)
{
    quint16 crc = 0;
    for (quint32 i = 0; i < length; ++i) {
        crc ^= quint16(data[i]) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

// ---------------------------------------------------------------- input

quint32 Ymodem::readMore(quint32 offset, quint32 wanted)
{
    const quint32 got = readInput(rxBuffer + offset, wanted);
    return got > wanted ? wanted : got;
}

quint32 Ymodem::pollInput()
{
    if (rxPhase == 0) {
        if (readMore(0, 1) == 0)
            return InputNothing;
        const quint8 first = rxBuffer[0];
        if (first != CodeSoh && first != CodeStx)
            return first;
        const bool small = first == CodeSoh;
        const quint32 rest = (small ? SmallBlock : LargeBlock) + 4;
        const quint32 got = readMore(1, rest);
        if (got == rest)
            return small ? InputBlock128 : InputBlock1024;
        rxPhase = small ? 1 : 2;
        rxLength = 1 + got;
        rxProgress = true;
        return InputNothing;
    }
    const quint32 total = (rxPhase == 1 ? SmallBlock : LargeBlock) + 5;
    const quint32 wanted = total - rxLength;
    const quint32 got = readMore(rxLength, wanted);
    if (got < wanted) {
        rxLength += got;
        if (got > 0)
            rxProgress = true;
        return InputNothing;
    }
    const quint32 done = rxPhase == 1 ? InputBlock128 : InputBlock1024;
    rxPhase = 0;
    return done;
}

bool Ymodem::isPeerCancel(quint32 input)
{
    return input == CodeCan || input == CodeA1 || input == CodeA2;
}

bool Ymodem::blockCrcOk(quint32 dataLength) const
{
    const quint16 expected = quint16((rxBuffer[3 + dataLength] << 8) | rxBuffer[4 + dataLength]);
    return crc16(rxBuffer + 3, dataLength) == expected;
}

// A header comes in a block of either size: a name too long for 128 bytes
// needs the 1024-byte one.
bool Ymodem::isGoodHeader(quint32 input) const
{
    return isBlockNumbered(input, 0);
}

bool Ymodem::isBlockNumbered(quint32 input, quint8 number) const
{
    if (input != InputBlock128 && input != InputBlock1024)
        return false;
    const quint32 length = input == InputBlock128 ? SmallBlock : LargeBlock;
    return rxBuffer[1] == number && rxBuffer[2] == quint8(~number) && blockCrcOk(length);
}

// ---------------------------------------------------------------- shared rules

void Ymodem::clearCounters()
{
    idleTicks = 0;
    errorCount = 0;
}

void Ymodem::reset()
{
    clearCounters();
    blockNumber = 0;
    rxPhase = 0;
    rxLength = 0;
    rxProgress = false;
    delivered = false;
    stage = StageIdle;
}

bool Ymodem::finishDelivered()
{
    if (!delivered)
        return false;
    reset();
    handleEvent(EventFinished, nullptr, nullptr);
    return true;
}

// Once the file is delivered the closing header only ends the session. A
// peer that leaves it unanswered has the file all the same: the sender waits
// a fifth of a retry period for the ACK of its closing header (rb, for one,
// may exit before that ACK is on the line), and a whole one where a retry
// would come otherwise (rb asks for the closing header a second after it
// acknowledged the end of file).
void Ymodem::markDelivered(bool shortGrace)
{
    delivered = true;
    const quint32 period = quint32(retryDivider) + 1;
    graceTicks = shortGrace ? (period / 5 > 0 ? period / 5 : 1) : period;
}

bool Ymodem::closingGraceOver() const
{
    return idleTicks >= graceTicks;
}

void Ymodem::cancelBurst()
{
    std::memset(txBuffer, CodeCan, CancelBurst);
    txLength = CancelBurst;
    writeOutput(txBuffer, txLength);
}

void Ymodem::giveUp(Event event)
{
    if (finishDelivered())
        return;
    reset();
    cancelBurst();
    handleEvent(event, nullptr, nullptr);
}

void Ymodem::peerCancel()
{
    if (finishDelivered())
        return;
    reset();
    handleEvent(EventCancelled, nullptr, nullptr);
}

void Ymodem::refuse()
{
    reset();
    cancelBurst();
}

bool Ymodem::idleRule(Event giveUpEvent, quint32 repeatTicks)
{
    if (!timedStep)
        return false; // no time has passed for this step
    if (rxProgress) {
        // Part of a block came in since the last timed step (perhaps in a
        // step taken on its arrival): the line is alive.
        rxProgress = false;
        return false;
    }
    idleTicks += 1;
    if (delivered && closingGraceOver()) {
        finishDelivered();
        return false;
    }
    const quint32 period = quint32(retryDivider) + 1;
    const quint32 periods = period ? idleTicks / period : 0;
    const quint32 rest = period ? idleTicks % period : idleTicks;
    if (periods > quint32(timeoutLimit)) {
        giveUp(giveUpEvent);
        return false;
    }
    return rest == 0 || (repeatTicks > 0 && idleTicks % repeatTicks == 0);
}

bool Ymodem::errorRule()
{
    errorCount += 1;
    if (errorCount > quint32(errorLimit)) {
        giveUp(EventFailed);
        return false;
    }
    return true;
}

void Ymodem::sendBytes(quint8 a)
{
    quint8 out[1] = {a};
    writeOutput(out, 1);
}

void Ymodem::sendBytes(quint8 a, quint8 b)
{
    quint8 out[2] = {a, b};
    writeOutput(out, 2);
}

void Ymodem::resend()
{
    writeOutput(txBuffer, txLength);
}

// The sender holds block 1 (blockNumber 1) or an early EOT (2) until the
// receiver asks for it. Once it is on the line, the stage says so, so that the
// ACK that answers it is read as such and never fetches file data twice.
void Ymodem::sendHeld()
{
    stage += blockNumber;
    sendPacket();
}

void Ymodem::buildBlock(quint8 number)
{
    // A block carries exactly 128 or 1024 data bytes; a shorter fill is
    // padded by the zeroed data area.
    const quint32 length = txLength > SmallBlock ? LargeBlock : SmallBlock;
    txBuffer[0] = length > SmallBlock ? CodeStx : CodeSoh;
    txBuffer[1] = number;
    txBuffer[2] = quint8(~number);
    const quint16 crc = crc16(txBuffer + 3, length);
    txBuffer[3 + length] = quint8(crc >> 8);
    txBuffer[4 + length] = quint8(crc & 0xFF);
    txLength = length + 5;
}

// Bytes already waiting when the sender puts a packet on the line cannot
// answer that packet: a stale or doubled ACK would otherwise make the sender
// run one block ahead of the receiver. Likewise, when the receiver rejects a
// block, what is still waiting is the rest of a broken packet; the sender
// sends nothing new before it hears the answer.
// A peer's cancel is never thrown away with them: returns true when the
// discarded bytes held one. Between the receiver's answers a single cancel
// byte counts (as it does when read in turn); inside the rest of a block only
// a run of them does.
bool Ymodem::purgeInput(bool cancelIsSingleByte)
{
    bool cancelled = false;
    quint32 run = 0;
    for (int round = 0; round < 64; ++round) {
        const quint32 got = readMore(0, PacketMax);
        if (got == 0)
            break;
        for (quint32 i = 0; i < got && !cancelled; ++i) {
            if (cancelIsSingleByte) {
                cancelled = isPeerCancel(rxBuffer[i]);
            } else {
                run = rxBuffer[i] == CodeCan ? run + 1 : 0;
                cancelled = run >= kCancelRun;
            }
        }
    }
    rxPhase = 0;
    rxLength = 0;
    return cancelled;
}

// A pending block that has not grown for a whole retry period is dead; if the
// sender's cancel burst is in it, that is the answer.
bool Ymodem::pendingBlockHoldsCancel() const
{
    if (rxPhase == 0)
        return false;
    quint32 run = 0;
    for (quint32 i = 1; i < rxLength && i < PacketMax; ++i) {
        run = rxBuffer[i] == CodeCan ? run + 1 : 0;
        if (run >= kCancelRun)
            return true;
    }
    return false;
}

void Ymodem::dropPendingBlock()
{
    rxPhase = 0;
    rxLength = 0;
}

void Ymodem::sendPacket()
{
    if (purgeInput(true)) {
        peerCancel();
        return;
    }
    resend();
}

// The receiver turns down a broken block: the rest of it, still waiting,
// would be misread as the next packet, so it goes, unless the sender's
// cancel is in it.
void Ymodem::rejectBlock(quint8 answer)
{
    if (purgeInput(false)) {
        peerCancel();
        return;
    }
    sendBytes(answer);
}

// The receiver prompts again after a retry period of silence. A block that
// stopped arriving that long ago will not be completed: it is dropped, so
// that the resent block starts clean.
void Ymodem::receiverRetry(quint8 prompt)
{
    if (pendingBlockHoldsCancel()) {
        peerCancel();
        return;
    }
    dropPendingBlock();
    sendBytes(prompt);
}

void Ymodem::abortTransfer()
{
    reset();
    cancelBurst();
}

// ---------------------------------------------------------------- receiving

// The data length of a complete block that pollInput reported.
static constexpr quint32 kBlockLength(quint32 input) { return input == 1 ? 128 : 1024; }

void Ymodem::receiveStep(StepKind kind)
{
    timedStep = kind == StepTimed;
    if (stage == StageIdle) {
        if (timedStep)
            receiveIdle();
        return;
    }
    const quint32 input = pollInput();
    switch (stage) {
    case StageHandshake: receiveHandshake(input); break;
    case StageHeaderDone: receiveHeaderDone(input); break;
    case StageData: receiveData(input); break;
    case StageEnding: receiveEnding(input); break;
    default: receiveClosing(input); break;
    }
}

void Ymodem::receiveIdle()
{
    clearCounters();
    blockNumber = 0;
    rxPhase = 0;
    stage = StageHandshake;
    sendBytes(CodeC);
}

void Ymodem::receiveHandshake(quint32 input)
{
    if (isPeerCancel(input)) {
        peerCancel();
    } else if (isGoodHeader(input)) {
        quint32 length = kBlockLength(input);
        if (handleEvent(EventHeader, rxBuffer + 3, &length) != CodeAck) {
            refuse();
            return;
        }
        blockNumber = 0;
        clearCounters();
        rxPhase = 0;
        stage = StageHeaderDone;
        sendBytes(CodeAck, CodeC);
    } else if (input == InputBlock128 || input == InputBlock1024) {
        if (errorRule())
            rejectBlock(CodeC);
    } else if (idleRule(EventTimedOut)) {
        receiverRetry(CodeC);
    }
}

void Ymodem::receiveHeaderDone(quint32 input)
{
    if (input == CodeEot) {
        clearCounters();
        blockNumber = 0;
        rxPhase = 0;
        stage = StageEnding;
        sendBytes(CodeNak);
    } else if (isPeerCancel(input)) {
        peerCancel();
    } else if (isGoodHeader(input)) {
        if (errorRule())
            sendBytes(CodeAck, CodeC);
    } else if (isBlockNumbered(input, 1)) {
        quint32 length = kBlockLength(input);
        const quint8 answer = handleEvent(EventData, rxBuffer + 3, &length);
        clearCounters();
        if (answer != CodeAck) {
            refuse();
            return;
        }
        blockNumber = 1;
        rxPhase = 0;
        stage = StageData;
        sendBytes(CodeAck);
    } else if (input == InputBlock128 || input == InputBlock1024) {
        if (errorRule())
            rejectBlock(CodeNak);
    } else if (idleRule(EventFailed)) {
        receiverRetry(CodeNak);
    }
}

void Ymodem::receiveData(quint32 input)
{
    if (input == CodeEot) {
        clearCounters();
        blockNumber = 0;
        rxPhase = 0;
        stage = StageEnding;
        sendBytes(CodeNak);
    } else if (isPeerCancel(input)) {
        peerCancel();
    } else if (isBlockNumbered(input, blockNumber)) {
        if (errorRule())
            sendBytes(CodeAck); // a repeat: acknowledged, not passed on again
    } else if (isBlockNumbered(input, quint8(blockNumber + 1))) {
        quint32 length = kBlockLength(input);
        const quint8 answer = handleEvent(EventData, rxBuffer + 3, &length);
        clearCounters();
        if (answer != CodeAck) {
            refuse();
            return;
        }
        blockNumber += 1;
        rxPhase = 0;
        sendBytes(CodeAck);
    } else if (input == InputBlock128 || input == InputBlock1024) {
        if (errorRule())
            rejectBlock(CodeNak);
    } else if (idleRule(EventFailed)) {
        receiverRetry(CodeNak);
    }
}

void Ymodem::receiveEnding(quint32 input)
{
    if (input == CodeEot) {
        // The ACK of the end of file tells the sender that the file is
        // stored, so the owner stores it first; a file it cannot store gets
        // the cancel burst instead.
        if (handleEvent(EventEndOfFile, nullptr, nullptr) != CodeAck) {
            refuse();
            return;
        }
        clearCounters();
        blockNumber = 0;
        rxPhase = 0;
        stage = StageClosing;
        markDelivered(false);
        sendBytes(CodeAck, CodeC);
    } else if (isPeerCancel(input)) {
        peerCancel();
    } else if (idleRule(EventFailed)) {
        receiverRetry(CodeNak);
    }
}

void Ymodem::receiveClosing(quint32 input)
{
    if (isGoodHeader(input)) {
        // One file per transfer: the closing header's contents are not examined.
        reset();
        sendBytes(CodeAck);
        handleEvent(EventFinished, nullptr, nullptr);
    } else if (input == InputBlock128 || input == InputBlock1024) {
        if (errorRule())
            rejectBlock(CodeNak);
    } else if (input == CodeEot) {
        if (errorRule())
            sendBytes(CodeAck, CodeC);
    } else if (isPeerCancel(input)) {
        peerCancel();
    } else if (idleRule(EventFailed)) {
        receiverRetry(CodeNak);
    }
}

// ---------------------------------------------------------------- sending

void Ymodem::transmitStep(StepKind kind)
{
    timedStep = kind == StepTimed;
    if (stage == StageIdle) {
        if (timedStep)
            transmitIdle();
        return;
    }
    const quint32 input = pollInput();
    switch (stage) {
    case StageHandshake: transmitHandshake(input); break;
    case StageHeaderDone: transmitHeaderDone(input); break;
    case StageData: transmitData(input); break;
    case StageEnding: transmitEnding(input); break;
    default: transmitClosing(input); break;
    }
}

void Ymodem::transmitIdle()
{
    clearCounters();
    blockNumber = 0;
    rxPhase = 0;
    restarts = 0;
    stage = StageHandshake;
}

// The owner fills the header: 128 bytes, or 1024 when the name needs them.
void Ymodem::sendHeader()
{
    std::memset(txBuffer + 3, 0, LargeBlock);
    txLength = SmallBlock;
    if (handleEvent(EventHeader, txBuffer + 3, &txLength) != CodeAck) {
        refuse();
        return;
    }
    blockNumber = 0;
    buildBlock(0);
    clearCounters();
    rxPhase = 0;
    delivered = false;
    stage = StageHeaderDone;
    sendPacket();
}

void Ymodem::transmitHandshake(quint32 input)
{
    if (input == CodeC) {
        sendHeader();
    } else if (isPeerCancel(input)) {
        peerCancel();
    } else {
        idleRule(EventTimedOut); // the sender never prompts
    }
}

void Ymodem::transmitHeaderDone(quint32 input)
{
    if (input == CodeAck) {
        if (blockNumber != 0) {
            // Block 1 or the EOT is already prepared: this is a repeated ACK
            // of the header. Asking the owner again would skip file data.
            errorRule();
            return;
        }
        std::memset(txBuffer + 3, 0, LargeBlock);
        txLength = LargeBlock;
        const quint8 answer = handleEvent(EventData, txBuffer + 3, &txLength);
        if (answer == CodeEot) {
            // An empty file: its EOT waits for the receiver's "C" as block 1
            // would, so that the receiver takes it as the end, not as noise.
            clearCounters();
            blockNumber = 2;
            rxPhase = 0;
            txBuffer[0] = CodeEot;
            txLength = 1;
        } else if (answer == CodeAck) {
            buildBlock(1);
            blockNumber = 1;
            clearCounters();
            rxPhase = 0;
        } else {
            refuse();
        }
    } else if (input == CodeC) {
        if (errorRule()) {
            clearCounters();
            rxPhase = 0;
            sendHeld();
        }
    } else if (input == CodeNak) {
        if (errorRule())
            sendHeld();
    } else if (isPeerCancel(input)) {
        peerCancel();
    } else if (idleRule(EventFailed)) {
        sendHeld();
    }
}

void Ymodem::transmitData(quint32 input)
{
    if (input == CodeAck) {
        std::memset(txBuffer + 3, 0, LargeBlock);
        txLength = LargeBlock;
        const quint8 answer = handleEvent(EventData, txBuffer + 3, &txLength);
        if (answer == CodeEot) {
            clearCounters();
            blockNumber = 0;
            rxPhase = 0;
            stage = StageEnding;
            txBuffer[0] = CodeEot;
            txLength = 1;
            sendPacket();
        } else if (answer == CodeAck) {
            blockNumber += 1;
            buildBlock(blockNumber);
            clearCounters();
            rxPhase = 0;
            sendPacket();
        } else {
            refuse();
        }
    } else if (input == CodeNak) {
        if (errorRule())
            sendPacket();
    } else if (isPeerCancel(input)) {
        peerCancel();
    } else if (idleRule(EventFailed)) {
        sendPacket();
    }
}

void Ymodem::transmitEnding(quint32 input)
{
    if (input == CodeAck) {
        // The receiver took the end of the file: the file is delivered. Its
        // "C" asks for the closing header next.
        clearCounters();
        markDelivered(false);
    } else if (input == CodeNak) {
        // The receiver has not taken the end yet (an ACK seen before was a
        // late answer to a repeated block).
        delivered = false;
        clearCounters();
        blockNumber = 0;
        rxPhase = 0;
        txBuffer[0] = CodeEot;
        txLength = 1;
        sendPacket();
    } else if (input == CodeC && !delivered) {
        receiverStartedOver();
    } else if (input == CodeC) {
        std::memset(txBuffer + 3, 0, SmallBlock);
        txLength = SmallBlock;
        buildBlock(0); // all zero: CRC 0x0000
        clearCounters();
        blockNumber = 0;
        rxPhase = 0;
        stage = StageClosing;
        markDelivered(true);
        sendPacket();
    } else if (isPeerCancel(input)) {
        peerCancel();
    } else if (idleRule(EventFailed)) {
        sendPacket();
    }
}

// A "C" where the ACK of the EOT is due. Only that ACK says that the file
// arrived, and a receiver that asks for a header has started over (a boot
// loader that reset): it would take another EOT for the end of a file it
// never got. It gets the whole file again from its header, a bounded number
// of times; then the send fails.
void Ymodem::receiverStartedOver()
{
    if (!errorRule())
        return;
    if (restarts >= RestartLimit) {
        giveUp(EventFailed);
        return;
    }
    restarts += 1;
    sendHeader();
}

void Ymodem::transmitClosing(quint32 input)
{
    if (input == CodeAck) {
        reset();
        handleEvent(EventFinished, nullptr, nullptr);
    } else if (input == CodeNak || input == CodeC) {
        if (errorRule())
            sendPacket();
    } else if (isPeerCancel(input)) {
        peerCancel();
    } else if (idleRule(EventFailed, closingRepeatTicks())) {
        sendPacket();
    }
}

// A receiver that throws away its input right after its prompt (lrzsz's rb
// does) may lose the closing header that answered the prompt; without an ACK
// the header goes out again after a fiftieth of a retry period, so that it
// reaches such a receiver before the delivered file ends the session.
quint32 Ymodem::closingRepeatTicks() const
{
    const quint32 ticks = (quint32(retryDivider) + 1) / 50;
    return ticks > 0 ? ticks : 1;
}
