#include "TiedProcess.h"

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

TiedProcess::TiedProcess(QObject *parent, int deathSignal)
    : QProcess(parent), m_deathSignal(deathSignal), m_parentPid(::getpid())
{
}

// Runs in the child after fork, before exec: only async-signal-safe calls.
void TiedProcess::setupChildProcess()
{
    ::prctl(PR_SET_PDEATHSIG, m_deathSignal);
    // The parent may have died between fork and prctl: then no signal comes.
    if (::getppid() != m_parentPid)
        ::_exit(127);
}
