#ifndef KORVEX_TIEDPROCESS_H
#define KORVEX_TIEDPROCESS_H

#include <QProcess>

#include <csignal>
#include <sys/types.h>

// A QProcess whose child ends when the process that started it ends, however
// that happens: a normal exit, a signal, a crash or SIGKILL. Without this a
// simulator started by a crashed test or a killed demo runs on for good,
// holding its pseudo-terminal and the output pipe its parent shared with it.
//
// The child asks the kernel for a signal on its parent's death
// (PR_SET_PDEATHSIG) between fork and exec. The signal arrives when the
// thread that started the child ends, so start it from a thread that lives
// as long as the child should (the main thread, in practice).
class TiedProcess : public QProcess
{
    Q_OBJECT
public:
    // deathSignal: what the child receives when its parent is gone. SIGTERM
    // lets korvex-sim end cleanly (removing its --link); SIGKILL for
    // programs that may ignore it.
    explicit TiedProcess(QObject *parent = nullptr, int deathSignal = SIGTERM);

protected:
    void setupChildProcess() override;

private:
    int m_deathSignal;
    pid_t m_parentPid;
};

#endif
