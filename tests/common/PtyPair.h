#ifndef KORVEX_TESTS_PTYPAIR_H
#define KORVEX_TESTS_PTYPAIR_H

// A pseudo-terminal pair for tests: the slave path is what a QSerialPort
// opens; the master fd is the far end of the "cable" (the device side).

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class PtyPair
{
public:
    PtyPair()
    {
        int slave = -1;
        char name[256] = {0};
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
            return;
        // Raw mode on both ends so that no byte is translated or swallowed.
        struct termios t;
        if (::tcgetattr(slave, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(slave, TCSANOW, &t);
        }
        if (::tcgetattr(m_master, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(m_master, TCSANOW, &t);
        }
        m_slavePath = QString::fromLocal8Bit(name);
        // Keep a slave fd open so the master never sees a hang-up between
        // opens of the port under test; closeSlaveKeeper() drops it.
        m_slaveKeeper = slave;
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair()
    {
        closeMaster();
        closeSlaveKeeper();
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }
    void closeSlaveKeeper()
    {
        if (m_slaveKeeper >= 0)
            ::close(m_slaveKeeper);
        m_slaveKeeper = -1;
    }

    // Writes on the device side.
    bool write(const QByteArray &bytes)
    {
        int done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    pollFd(POLLOUT, 10);
                    continue;
                }
                return false;
            }
            done += int(n);
        }
        return true;
    }

    // Reads what the device side has received: waits up to timeoutMs for the
    // first byte, then until the line has been quiet for quietMs.
    QByteArray read(int timeoutMs = 1000, int quietMs = 30)
    {
        QByteArray out;
        QElapsedTimer total;
        total.start();
        for (;;) {
            const int wait = out.isEmpty() ? int(qMax<qint64>(0, timeoutMs - total.elapsed())) : quietMs;
            if (!pollFd(POLLIN, wait))
                break;
            char buf[4096];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, int(n));
        }
        return out;
    }

    // Takes what has arrived on the device side without waiting.
    QByteArray readAvailable()
    {
        QByteArray all;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            all.append(buf, int(n));
        }
        return all;
    }

    // Reads exactly n bytes or gives up at the deadline.
    QByteArray readExactly(int n, int timeoutMs = 2000)
    {
        QByteArray out;
        QElapsedTimer total;
        total.start();
        while (out.size() < n && total.elapsed() < timeoutMs) {
            if (!pollFd(POLLIN, int(timeoutMs - total.elapsed())))
                break;
            char buf[4096];
            const ssize_t r = ::read(m_master, buf, size_t(qMin<int>(int(sizeof buf), n - out.size())));
            if (r <= 0)
                break;
            out.append(buf, int(r));
        }
        return out;
    }

private:
    bool pollFd(short events, int ms)
    {
        struct pollfd p{m_master, events, 0};
        return ::poll(&p, 1, ms) > 0 && (p.revents & events);
    }

    int m_master = -1;
    int m_slaveKeeper = -1;
    QString m_slavePath;
};

#endif
