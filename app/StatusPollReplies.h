#ifndef KORVEX_STATUSPOLLREPLIES_H
#define KORVEX_STATUSPOLLREPLIES_H

#include <QByteArray>

// Which of the executor's read results answers the window's status poll, so
// that every tick gives the trend one sample or one loss. No I/O: the window
// tells it what went out and what came back.
//
// Results come back in the order the queries went out, and each tick's
// status query goes before its PID query: while a status answer is pending,
// any read result but a PID reply belongs to it. A status query that got no
// answer at all (the executor answers nothing once its port has gone) counts
// as lost when the next one goes out.
class StatusPollReplies
{
public:
    enum class Outcome { None, Sampled, Lost };

    // A status query goes out: Lost when the one before it is still unanswered.
    Outcome sent();
    // A read result (0: a reply in `frame`) arrived.
    Outcome read(quint8 result, const QByteArray &frame);
    // The port opened or closed: nothing is waited for any more.
    void forget() { pending = false; }

private:
    bool pending = false;
};

#endif
