#ifndef KORVEX_SIGNALEVENTS_H
#define KORVEX_SIGNALEVENTS_H

#include <QObject>

#include <atomic>

class QSocketNotifier;

// SIGINT, SIGTERM and SIGHUP (its terminal closed) as an event of the event
// loop. The handler only notes the signal and writes a byte to a pipe; the
// pipe's reader emits `received` in the event loop, where anything may be
// done (quit, stop a transfer, let destructors run as on a normal exit).
// Code that blocks outside the event loop asks `pending()` between its steps.
// A program that keeps files open for a long time (korvexctl watch) may have
// SIGHUP mean "reopen them" (log rotation) instead: it then comes as
// `reopenRequested` and sets `reopenPending()`, never `pending()`.
// One instance per process.
class SignalEvents : public QObject
{
    Q_OBJECT
public:
    explicit SignalEvents(QObject *parent = nullptr);
    ~SignalEvents() override;

    bool isValid() const { return m_notifier != nullptr; }

    // Set by the handler itself, so it is seen even while the event loop is
    // not running. Tests may set it by hand.
    static std::atomic<bool> &pending();

    // From now on SIGHUP asks for a reopen (true) or stops as the others
    // (false, the default).
    static void setHangupReopens(bool reopens);
    // Set by a SIGHUP that asks for a reopen; the reader clears it.
    static std::atomic<bool> &reopenPending();

signals:
    void received(int signo);
    void reopenRequested();

private:
    static void onSignal(int signo);
    static int s_pipe[2];
    QSocketNotifier *m_notifier = nullptr;
};

#endif
