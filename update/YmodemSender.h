#ifndef KORVEX_YMODEMSENDER_H
#define KORVEX_YMODEMSENDER_H

#include "Ymodem.h"

// The sending machine, one function per stage, run on an engine's shared
// core for one step (Ymodem::transmitStep). It keeps no state of its own: all
// of it is the engine's, so a transfer carries on from step to step.
class YmodemSender
{
public:
    explicit YmodemSender(Ymodem &engine) : e(engine) {}

    // Waits for the receiver's first "C"; the sender never prompts.
    void start();
    // One per stage, with what pollInput reported.
    void handshake(quint32 input);  // a "C" asks for the header
    void headerDone(quint32 input); // its ACK, then a "C" for block 1
    void data(quint32 input);       // an ACK asks for the next block
    void ending(quint32 input);     // the ACK of the EOT, a "C" for the closing header
    void closing(quint32 input);    // the ACK of the closing header

private:
    // The receiver's cancel, or silence: the packet on the line goes again
    // when a retry is due.
    void otherwise(quint32 input, quint32 repeatTicks = 0);
    quint8 fetchBlock();
    void buildBlock(quint8 number);
    void holdEndOfFile();
    void sendHeader();
    void sendHeld();
    void sendPacket();
    void receiverStartedOver();
    quint32 closingRepeatTicks() const;

    Ymodem &e;
};

#endif
