#include "Ymodem.h"

#include "YmodemReceiver.h"
#include "YmodemSender.h"

#include <cstring>

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

template <class Machine> void Ymodem::runStep(StepKind kind)
{
    timedStep = kind == StepTimed;
    Machine machine(*this);
    if (stage == StageIdle) {
        if (timedStep)
            machine.start();
        return;
    }
    const quint32 input = pollInput();
    switch (stage) {
    case StageHandshake: machine.handshake(input); break;
    case StageHeaderDone: machine.headerDone(input); break;
    case StageData: machine.data(input); break;
    case StageEnding: machine.ending(input); break;
    default: machine.closing(input); break;
    }
}

void Ymodem::receiveStep(StepKind kind) { runStep<YmodemReceiver>(kind); }
void Ymodem::transmitStep(StepKind kind) { runStep<YmodemSender>(kind); }

void Ymodem::abortTransfer()
{
    reset();
    cancelBurst();
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

// A header comes in a block of either size: a name too long for 128 bytes
// needs the 1024-byte one.
bool Ymodem::isGoodHeader(quint32 input) const
{
    return isBlockNumbered(input, 0);
}

bool Ymodem::isBlockNumbered(quint32 input, quint8 number) const
{
    return isBlock(input) && YmodemPacket::isNumbered(rxBuffer, blockLength(input), number);
}

// ---------------------------------------------------------------- shared rules

void Ymodem::clearCounters()
{
    idleTicks = 0;
    errorCount = 0;
}

void Ymodem::enterStage(Stage next, quint8 number)
{
    clearCounters();
    blockNumber = number;
    rxPhase = 0;
    stage = next;
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
                cancelled = run >= CancelRun;
            }
        }
    }
    rxPhase = 0;
    rxLength = 0;
    return cancelled;
}
