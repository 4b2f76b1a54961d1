#ifndef KORVEX_YMODEMRECEIVER_H
#define KORVEX_YMODEMRECEIVER_H

#include "Ymodem.h"

// The receiving machine, one function per stage, run on an engine's shared
// core for one step (Ymodem::receiveStep). It keeps no state of its own: all
// of it is the engine's, so a transfer carries on from step to step.
class YmodemReceiver
{
public:
    explicit YmodemReceiver(Ymodem &engine) : e(engine) {}

    // Prompts with "C" for the header.
    void start();
    // One per stage, with what pollInput reported.
    void handshake(quint32 input);  // the header is due
    void headerDone(quint32 input); // block 1, or an empty file's EOT
    void data(quint32 input);       // the next block, or the EOT
    void ending(quint32 input);     // the second EOT: the owner stores the file
    void closing(quint32 input);    // the closing header

private:
    // The sender's cancel, a broken or unexpected block, or silence.
    void otherwise(quint32 input, quint8 prompt, Ymodem::Event giveUpEvent);
    void endOfFileSeen();
    void pass(quint32 input, quint8 number);
    void rejectBlock(quint8 answer);
    void retry(quint8 prompt);
    bool pendingBlockHoldsCancel() const;
    void dropPendingBlock();

    Ymodem &e;
};

#endif
