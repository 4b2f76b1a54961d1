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
        const QByteArray in = readAvailable();
        wire += in;
        engine.input += in;
        if (!ended() && (stopAfterDataEvents < 0 || engine.dataEvents < stopAfterDataEvents))
            engine.step();
        const QByteArray out = engine.takeOutput();
        if (!out.isEmpty())
            pty.write(out);
    }
    QByteArray readAvailable()
    {
        QByteArray all;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(pty.masterFd(), buf, sizeof buf);
            if (n <= 0)
                break;
            all.append(buf, int(n));
        }
        return all;
    }
};

#endif
