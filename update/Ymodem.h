#ifndef KORVEX_YMODEM_H
#define KORVEX_YMODEM_H

#include "YmodemPacket.h"

#include <QtGlobal>

// The shared core of a YModem endpoint (CRC-16, 128- and 1024-byte blocks,
// one file per transfer; a header in either block size): the state, the
// reading of packets, the retry and give-up timing and the cancel rules. The
// receiving machine (YmodemReceiver) and the sending one (YmodemSender) run
// on it. It owns no port, file or timer: the owner calls receiveStep() or
// transmitStep() periodically and the engine reaches the outside only through
// the three pure virtual operations. Every wait is a count of steps.
class Ymodem
{
public:
    enum Code : quint8 {
        CodeNone = 0x00,
        CodeSoh = 0x01,
        CodeStx = 0x02,
        CodeEot = 0x04,
        CodeAck = 0x06,
        CodeNak = 0x15,
        CodeCan = 0x18,
        CodeC = 0x43,
        CodeA1 = 0x41,
        CodeA2 = 0x61
    };

    enum Stage {
        StageIdle = 0,
        StageHandshake = 1,
        StageHeaderDone = 2,
        StageData = 3,
        StageEnding = 4,
        StageClosing = 5
    };

    enum Event {
        EventHeader = 0,
        EventData = 1,
        EventFinished = 2,
        EventCancelled = 3,
        EventTimedOut = 4,
        EventFailed = 5,
        // Receiver only: the end of the file arrived (its second EOT). The
        // owner answers ACK only when every announced byte is safely stored;
        // any other answer sends the cancel burst instead of the ACK, so the
        // sender learns that the file did not arrive. Buffer and length null.
        EventEndOfFile = 6
    };

    // A timed step counts as time passing: with nothing useful arriving it is
    // an idle step (retries, give-up). An untimed step only handles what has
    // arrived; owners use it for steps taken on arrival of bytes and while
    // their own last packet is still on the line.
    enum StepKind { StepTimed, StepUntimed };

    static constexpr quint32 SmallBlock = YmodemPacket::SmallBlock;
    static constexpr quint32 LargeBlock = YmodemPacket::LargeBlock;
    static constexpr quint32 PacketMax = YmodemPacket::PacketMax;
    static constexpr quint32 CancelBurst = 5;

    Ymodem(int retryDivider = 499, int timeoutLimit = 5, int errorLimit = 999);

    void setRetryDivider(int value);
    void setTimeoutLimit(int value);
    void setErrorLimit(int value);

    void receiveStep(StepKind kind = StepTimed);
    void transmitStep(StepKind kind = StepTimed);
    void abortTransfer();

    // True once the end of the file has been acknowledged (sender: the
    // receiver ACKed its EOT; receiver: it ACKed the sender's EOT after the
    // owner stored the file). What follows, the closing header, only ends the
    // session: from here on the transfer ends as finished, even when the peer
    // goes silent, cancels or the line goes away.
    bool fileDelivered() const { return delivered; }

    // Sender: how often the receiver started the file over (a "C" where the
    // ACK of the end of the file was due) in the current or last transfer.
    quint32 restartCount() const { return restarts; }
    // A receiver that starts over gets the file from its header again at
    // most this often; the next time the transfer fails.
    static constexpr quint32 RestartLimit = 2;

    // CRC-16/XMODEM: polynomial 0x1021, initial 0, no reflection, no final XOR.
    static quint16 crc16(const quint8 *data, quint32 length) { return YmodemPacket::crc16(data, length); }

protected:
    // The owner destroys the engine as part of itself; never through a Ymodem pointer.
    ~Ymodem() = default;

    // Receiver: buffer holds a block's data, *length its size. Sender: buffer
    // is the zeroed data area to fill, *length is set to the bytes filled.
    // For events 2..5 buffer and length are null and the answer is ignored.
    virtual quint8 handleEvent(Event event, quint8 *buffer, quint32 *length) = 0;
    // Copies at most length bytes that have arrived; 0 when none. Never blocks.
    virtual quint32 readInput(quint8 *buffer, quint32 length) = 0;
    virtual quint32 writeOutput(quint8 *buffer, quint32 length) = 0;

    qint32 retryDivider;
    qint32 timeoutLimit;
    qint32 errorLimit;
    quint32 idleTicks;
    quint32 errorCount;
    quint8 blockNumber;
    qint32 rxPhase;
    qint32 stage;
    quint8 rxBuffer[PacketMax];
    quint8 txBuffer[PacketMax];
    quint32 rxLength;
    quint32 txLength;
    // Set by pollInput when bytes were added to a pending block, cleared by
    // the next timed step: the line is busy, so that step is not idle (a
    // 1029-byte block at 1200 baud takes longer than a retry period).
    bool rxProgress;
    bool timedStep;
    bool delivered;
    quint32 graceTicks; // idle steps a delivered file waits for the closing handshake
    quint32 restarts;   // sender: times the file went out again from its header

    // Owners call this when the line went away or the user stops: a
    // delivered file ends the session as finished (EventFinished, nothing is
    // sent); returns false, doing nothing, when the file was not delivered.
    bool finishDelivered();

private:
    friend class YmodemReceiver;
    friend class YmodemSender;

    enum Input : quint32 { InputNothing = 0, InputBlock128 = 1, InputBlock1024 = 2 };
    // Inside block bytes a single CAN is data; a run this long is a peer's
    // cancel (every implementation sends at least five).
    static constexpr quint32 CancelRun = 3;

    // One step of the machine that owns the transfer (YmodemReceiver or YmodemSender).
    template <class Machine> void runStep(StepKind kind);

    quint32 pollInput();
    quint32 readMore(quint32 offset, quint32 wanted);

    void reset();
    void clearCounters();
    // Moves to `next` with block `number` due and nothing counted or pending.
    void enterStage(Stage next, quint8 number);
    void cancelBurst();
    void giveUp(Event event);
    void peerCancel();
    void refuse();
    // True when the retry action is due: once a retry period, and every
    // repeatTicks idle steps where a stage repeats its packet sooner.
    bool idleRule(Event giveUpEvent, quint32 repeatTicks = 0);
    bool errorRule();                 // true when the error action is due
    void sendBytes(quint8 a);
    void sendBytes(quint8 a, quint8 b);
    bool purgeInput(bool cancelIsSingleByte);
    void markDelivered(bool shortGrace);
    bool closingGraceOver() const;

    static bool isPeerCancel(quint32 input);
    static bool isBlock(quint32 input) { return input == InputBlock128 || input == InputBlock1024; }
    // The data length of a complete block that pollInput reported.
    static quint32 blockLength(quint32 input) { return input == InputBlock128 ? SmallBlock : LargeBlock; }
    bool isGoodHeader(quint32 input) const;
    bool isBlockNumbered(quint32 input, quint8 number) const;
};

#endif
