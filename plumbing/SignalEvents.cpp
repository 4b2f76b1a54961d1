#include "SignalEvents.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

int SignalEvents::selfPipe[2] = {-1, -1};

namespace {
const int Handled[] = {SIGINT, SIGTERM, SIGHUP};
// The byte a reopening SIGHUP writes to the pipe (no signal has number 0).
constexpr unsigned char ReopenByte = 0;

std::atomic<bool> &hangupReopens()
{
    static std::atomic<bool> flag{false};
    return flag;
}
} // namespace

std::atomic<bool> &SignalEvents::pending()
{
    static std::atomic<bool> flag{false};
    return flag;
}

std::atomic<bool> &SignalEvents::reopenPending()
{
    static std::atomic<bool> flag{false};
    return flag;
}

void SignalEvents::setHangupReopens(bool reopens)
{
    hangupReopens().store(reopens);
}

SignalEvents::SignalEvents(QObject *parent) : QObject(parent)
{
    if (::pipe(selfPipe) != 0)
        return;
    for (int fd : selfPipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa = {};
    sa.sa_handler = &SignalEvents::onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int signo : Handled)
        ::sigaction(signo, &sa, nullptr);
    notifier = new QSocketNotifier(selfPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char byte;
        while (::read(selfPipe[0], &byte, 1) > 0) {
            if (byte == ReopenByte)
                emit reopenRequested();
            else
                emit received(int(byte));
        }
    });
}

SignalEvents::~SignalEvents()
{
    for (int signo : Handled)
        std::signal(signo, SIG_DFL);
    delete notifier;
    for (int &fd : selfPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SignalEvents::onSignal(int signo)
{
    const bool reopen = signo == SIGHUP && hangupReopens().load();
    (reopen ? reopenPending() : pending()).store(true);
    const unsigned char byte = reopen ? ReopenByte : static_cast<unsigned char>(signo);
    if (selfPipe[1] >= 0) {
        const ssize_t ignored = ::write(selfPipe[1], &byte, 1);
        (void)ignored;
    }
}
