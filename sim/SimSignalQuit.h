#ifndef KORVEX_SIMSIGNALQUIT_H
#define KORVEX_SIMSIGNALQUIT_H

#include <QObject>

class QSocketNotifier;

// Ends the event loop on SIGINT, SIGTERM or SIGHUP (its terminal closed). The signal handler only writes
// a byte to a pipe; the quit happens in the event loop, so destructors run
// and links are removed as on a normal exit.
class SimSignalQuit : public QObject
{
    Q_OBJECT
public:
    explicit SimSignalQuit(QObject *parent = nullptr);
    ~SimSignalQuit() override;

    bool isValid() const { return m_notifier != nullptr; }

private:
    static void onSignal(int signo);
    static int s_pipe[2];
    QSocketNotifier *m_notifier = nullptr;
};

#endif
