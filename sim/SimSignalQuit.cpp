#include "SimSignalQuit.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

int SimSignalQuit::s_pipe[2] = {-1, -1};

SimSignalQuit::SimSignalQuit(QObject *parent) : QObject(parent)
{
    if (::pipe(s_pipe) != 0)
        return;
    for (int fd : s_pipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa = {};
    sa.sa_handler = &SimSignalQuit::onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [] {
        char c;
        while (::read(s_pipe[0], &c, 1) > 0) {
        }
        QCoreApplication::quit();
    });
}

SimSignalQuit::~SimSignalQuit()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
    delete m_notifier;
    for (int &fd : s_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SimSignalQuit::onSignal(int)
{
    const char c = 'q';
    if (s_pipe[1] >= 0) {
        const ssize_t ignored = ::write(s_pipe[1], &c, 1);
        (void)ignored;
    }
}
