#include "SimPtyLine.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

SimPtyLine::SimPtyLine(const QString &linkPath, QObject *parent) : SimLine(parent), symlinkPath(linkPath) {}

SimPtyLine::~SimPtyLine()
{
    closeAll();
}

void SimPtyLine::closeAll()
{
    delete notifier;
    notifier = nullptr;
    if (master >= 0)
        ::close(master);
    if (slaveKeeper >= 0)
        ::close(slaveKeeper);
    master = slaveKeeper = -1;
    // Remove the link only if it still points at our terminal.
    if (linkMade && QFileInfo(symlinkPath).symLinkTarget() == QFileInfo(slavePath).absoluteFilePath())
        ::unlink(QFile::encodeName(symlinkPath).constData());
    linkMade = false;
}

bool SimPtyLine::open(QString *error)
{
    char name[256] = {0};
    if (::openpty(&master, &slaveKeeper, name, nullptr, nullptr) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    slavePath = QString::fromLocal8Bit(name);
    // Raw mode on both sides: no byte may be translated, echoed or swallowed.
    struct termios t;
    for (int fd : {slaveKeeper, master}) {
        if (::tcgetattr(fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slaveKeeper, F_SETFD, FD_CLOEXEC);

    if (!symlinkPath.isEmpty()) {
        const QByteArray link = QFile::encodeName(symlinkPath);
        const QFileInfo old(symlinkPath);
        if (old.isSymLink())
            ::unlink(link.constData()); // a link left behind by an earlier run
        if (::symlink(name, link.constData()) != 0) {
            *error = QStringLiteral("cannot make the link %1: %2").arg(symlinkPath, QString::fromLocal8Bit(std::strerror(errno)));
            closeAll();
            return false;
        }
        linkMade = true;
    }

    notifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] { readMaster(); });
    return true;
}

void SimPtyLine::readMaster()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0) {
            emit received(QByteArray(buf, int(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        // EIO or end of file: only possible if no slave is open at all. The
        // keeper makes that rare; pause so a persisting condition cannot spin.
        QThread::msleep(50);
        return;
    }
}

void SimPtyLine::write(const QByteArray &bytes)
{
    int done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // The terminal's buffer is full because nobody reads: the rest is lost.
        return;
    }
}
