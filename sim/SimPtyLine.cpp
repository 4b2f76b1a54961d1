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

SimPtyLine::SimPtyLine(const QString &linkPath, QObject *parent) : SimLine(parent), m_linkPath(linkPath) {}

SimPtyLine::~SimPtyLine()
{
    closeAll();
}

void SimPtyLine::closeAll()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
    m_master = m_slaveKeeper = -1;
    // Remove the link only if it still points at our terminal.
    if (m_linkMade && QFileInfo(m_linkPath).symLinkTarget() == QFileInfo(m_slavePath).absoluteFilePath())
        ::unlink(QFile::encodeName(m_linkPath).constData());
    m_linkMade = false;
}

bool SimPtyLine::open(QString *error)
{
    char name[256] = {0};
    if (::openpty(&m_master, &m_slaveKeeper, name, nullptr, nullptr) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    // Raw mode on both sides: no byte may be translated, echoed or swallowed.
    struct termios t;
    for (int fd : {m_slaveKeeper, m_master}) {
        if (::tcgetattr(fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slaveKeeper, F_SETFD, FD_CLOEXEC);

    if (!m_linkPath.isEmpty()) {
        const QByteArray link = QFile::encodeName(m_linkPath);
        const QFileInfo old(m_linkPath);
        if (old.isSymLink())
            ::unlink(link.constData()); // a link left behind by an earlier run
        if (::symlink(name, link.constData()) != 0) {
            *error = QStringLiteral("cannot make the link %1: %2").arg(m_linkPath, QString::fromLocal8Bit(std::strerror(errno)));
            closeAll();
            return false;
        }
        m_linkMade = true;
    }

    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readMaster(); });
    return true;
}

void SimPtyLine::readMaster()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
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
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
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
