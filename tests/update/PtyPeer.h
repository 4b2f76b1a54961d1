#ifndef KORVEX_TESTS_PTYPEER_H
#define KORVEX_TESTS_PTYPEER_H

// A YModem engine on the device side of a pty, stepped every 2 ms: the far
// end for the file sender and receiver under test. `wire` keeps every byte
// that came from the class under test.

#include "EngineHarness.h"
#include "PtyPair.h"

#include <QObject>
#include <QTimer>

class PtyPeer : public QObject
{
public:
    PtyPeer(PtyPair &pty, bool sender) : pty(pty), engine(sender)
    {
        timer.setInterval(2);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { pump(); });
    }
    void start() { timer.start(); }
    void stop() { timer.stop(); }
    bool ended() const { return !engine.events.isEmpty(); }

    PtyPair &pty;
    Engine engine;
    QTimer timer;
    QByteArray wire;
    int stopAfterDataEvents = -1; // stop talking after this many data blocks

private:
    void pump()
    {
        const QByteArray in = pty.readAvailable();
        wire += in;
        engine.input += in;
        if (!ended() && (stopAfterDataEvents < 0 || engine.dataEvents < stopAfterDataEvents))
            engine.step();
        const QByteArray out = engine.takeOutput();
        if (!out.isEmpty())
            pty.write(out);
    }
};

#endif
