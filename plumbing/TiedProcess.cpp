#include "TiedProcess.h"

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

TiedProcess::TiedProcess(QObject *parent, int deathSignal)
    : QProcess(parent), parentDeathSignal(deathSignal), parentPid(::getpid())
{
}

// Runs in the child after fork, before exec: only async-signal-safe calls.
void TiedProcess::setupChildProcess()
{
    ::prctl(PR_SET_PDEATHSIG, parentDeathSignal);
    // The parent may have died between fork and prctl: then no signal comes.
    if (::getppid() != parentPid)
        ::_exit(127);
}
