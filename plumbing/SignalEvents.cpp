#include "SignalEvents.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

int SignalEvents::s_pipe[2] = {-1, -1};

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
    if (::pipe(s_pipe) != 0)
        return;
    for (int fd : s_pipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa = {};
    sa.sa_handler = &SignalEvents::onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int signo : Handled)
        ::sigaction(signo, &sa, nullptr);
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char byte;
        while (::read(s_pipe[0], &byte, 1) > 0) {
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
    delete m_notifier;
    for (int &fd : s_pipe) {
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
    if (s_pipe[1] >= 0) {
        const ssize_t ignored = ::write(s_pipe[1], &byte, 1);
        (void)ignored;
    }
}
