#include "YmodemReceiver.h"

void YmodemReceiver::start()
{
    e.enterStage(Ymodem::StageHandshake, 0);
    e.sendBytes(Ymodem::CodeC);
}

void YmodemReceiver::handshake(quint32 input)
{
    if (e.isGoodHeader(input)) {
        quint32 length = Ymodem::blockLength(input);
        if (e.handleEvent(Ymodem::EventHeader, e.rxBuffer + 3, &length) != Ymodem::CodeAck) {
            e.refuse();
            return;
        }
        e.enterStage(Ymodem::StageHeaderDone, 0);
        e.sendBytes(Ymodem::CodeAck, Ymodem::CodeC);
    } else {
        otherwise(input, Ymodem::CodeC, Ymodem::EventTimedOut);
    }
}

void YmodemReceiver::headerDone(quint32 input)
{
    if (input == Ymodem::CodeEot) {
        endOfFileSeen();
    } else if (e.isGoodHeader(input)) {
        if (e.errorRule())
            e.sendBytes(Ymodem::CodeAck, Ymodem::CodeC);
    } else if (e.isBlockNumbered(input, 1)) {
        pass(input, 1);
    } else {
        otherwise(input, Ymodem::CodeNak, Ymodem::EventFailed);
    }
}

void YmodemReceiver::data(quint32 input)
{
    if (input == Ymodem::CodeEot) {
        endOfFileSeen();
    } else if (e.isBlockNumbered(input, e.blockNumber)) {
        if (e.errorRule())
            e.sendBytes(Ymodem::CodeAck); // a repeat: acknowledged, not passed on again
    } else if (e.isBlockNumbered(input, quint8(e.blockNumber + 1))) {
        pass(input, quint8(e.blockNumber + 1));
    } else {
        otherwise(input, Ymodem::CodeNak, Ymodem::EventFailed);
    }
}

void YmodemReceiver::ending(quint32 input)
{
    if (input == Ymodem::CodeEot) {
        // The ACK of the end of file tells the sender that the file is
        // stored, so the owner stores it first; a file it cannot store gets
        // the cancel burst instead.
        if (e.handleEvent(Ymodem::EventEndOfFile, nullptr, nullptr) != Ymodem::CodeAck) {
            e.refuse();
            return;
        }
        e.enterStage(Ymodem::StageClosing, 0);
        e.markDelivered(false);
        e.sendBytes(Ymodem::CodeAck, Ymodem::CodeC);
    } else if (Ymodem::isPeerCancel(input)) {
        e.peerCancel();
    } else if (e.idleRule(Ymodem::EventFailed)) {
        // A block here is no answer: it counts as silence.
        retry(Ymodem::CodeNak);
    }
}

void YmodemReceiver::closing(quint32 input)
{
    if (e.isGoodHeader(input)) {
        // One file per transfer: the closing header's contents are not examined.
        e.reset();
        e.sendBytes(Ymodem::CodeAck);
        e.handleEvent(Ymodem::EventFinished, nullptr, nullptr);
    } else if (input == Ymodem::CodeEot) {
        if (e.errorRule())
            e.sendBytes(Ymodem::CodeAck, Ymodem::CodeC);
    } else {
        otherwise(input, Ymodem::CodeNak, Ymodem::EventFailed);
    }
}

void YmodemReceiver::otherwise(quint32 input, quint8 prompt, Ymodem::Event giveUpEvent)
{
    if (Ymodem::isPeerCancel(input)) {
        e.peerCancel();
    } else if (Ymodem::isBlock(input)) {
        if (e.errorRule())
            rejectBlock(prompt);
    } else if (e.idleRule(giveUpEvent)) {
        retry(prompt);
    }
}

// The first EOT is answered with NAK: only a second one ends the file.
void YmodemReceiver::endOfFileSeen()
{
    e.enterStage(Ymodem::StageEnding, 0);
    e.sendBytes(Ymodem::CodeNak);
}

// Block `number` is complete and good: the owner takes it, or refuses it
// and the transfer.
void YmodemReceiver::pass(quint32 input, quint8 number)
{
    quint32 length = Ymodem::blockLength(input);
    if (e.handleEvent(Ymodem::EventData, e.rxBuffer + 3, &length) != Ymodem::CodeAck) {
        e.refuse();
        return;
    }
    e.enterStage(Ymodem::StageData, number);
    e.sendBytes(Ymodem::CodeAck);
}

// The receiver turns down a broken block: the rest of it, still waiting,
// would be misread as the next packet, so it goes, unless the sender's
// cancel is in it.
void YmodemReceiver::rejectBlock(quint8 answer)
{
    if (e.purgeInput(false)) {
        e.peerCancel();
        return;
    }
    e.sendBytes(answer);
}

// The receiver prompts again after a retry period of silence. A block that
// stopped arriving that long ago will not be completed: it is dropped, so
// that the resent block starts clean.
void YmodemReceiver::retry(quint8 prompt)
{
    if (pendingBlockHoldsCancel()) {
        e.peerCancel();
        return;
    }
    dropPendingBlock();
    e.sendBytes(prompt);
}

// A pending block that has not grown for a whole retry period is dead; if the
// sender's cancel burst is in it, that is the answer.
bool YmodemReceiver::pendingBlockHoldsCancel() const
{
    if (e.rxPhase == 0)
        return false;
    quint32 run = 0;
    for (quint32 i = 1; i < e.rxLength && i < Ymodem::PacketMax; ++i) {
        run = e.rxBuffer[i] == Ymodem::CodeCan ? run + 1 : 0;
        if (run >= Ymodem::CancelRun)
            return true;
    }
    return false;
}

void YmodemReceiver::dropPendingBlock()
{
    e.rxPhase = 0;
    e.rxLength = 0;
}
