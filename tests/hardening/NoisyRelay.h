#ifndef KORVEX_TESTS_NOISYRELAY_H
#define KORVEX_TESTS_NOISYRELAY_H

// A noisy cable between two pseudo-terminals: whatever is written to the
// terminal at pathA() comes out at pathB() and back, with bits flipped, bytes
// dropped and duplicated at random, and optionally one stall of the whole
// line. A thread of its own moves the bytes. The choices come from a seeded
// generator; the counts of what was done are kept.
//
//   NoisyRelay relay({0.0005, 0.0005, 0.0005, 20000, 1500, seed});
//   relay.start();
//   ... korvex-ymodem on relay.pathA(), rb on relay.pathB() ...
//   relay.unplugA();  // the A side's far end vanishes (its master closes)

#include "PtyPair.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <thread>

class NoisyRelay
{
public:
    struct Faults {
        double flip = 0;          // share of bytes with one bit flipped
        double drop = 0;          // share of bytes lost
        double duplicate = 0;     // share of bytes sent twice
        qint64 stallAfter = -1;   // stall once after this many bytes; -1 never
        int stallMs = 0;
        unsigned seed = 1;
    };

    explicit NoisyRelay(const Faults &faults) : m_faults(faults), m_rng(faults.seed)
    {
        // Programs started by the test must not inherit the far ends: an
        // inherited copy would keep a pulled cable plugged in.
        for (int fd : {m_a.masterFd(), m_b.masterFd()})
            if (fd >= 0)
                ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    ~NoisyRelay() { stop(); }
    NoisyRelay(const NoisyRelay &) = delete;
    NoisyRelay &operator=(const NoisyRelay &) = delete;

    bool isValid() const { return m_a.isValid() && m_b.isValid(); }
    QString pathA() const { return m_a.slavePath(); }
    QString pathB() const { return m_b.slavePath(); }

    void start()
    {
        m_run = true;
        m_thread = std::thread([this] { loop(); });
    }
    void stop()
    {
        m_run = false;
        if (m_thread.joinable())
            m_thread.join();
    }
    // Closes the far end of the A or B terminal, as a pulled adapter would;
    // the relay thread does it, between two moves.
    void unplugA() { m_unplugA = true; }
    void unplugB() { m_unplugB = true; }

    qint64 bytesMoved() const { return m_moved; }
    qint64 flipped() const { return m_flipped; }
    qint64 dropped() const { return m_dropped; }
    qint64 duplicated() const { return m_duplicated; }
    bool stalled() const { return m_stalled; }

private:
    // Reads whatever either side wrote, garbles it into the queue towards the
    // other side, and writes queued bytes as far as each side takes them, so
    // that a side that is slow to read never holds up the other direction.
    void loop()
    {
        char buf[4096];
        QByteArray queue[2]; // towards A, towards B
        while (m_run) {
            if (m_unplugA.exchange(false))
                m_a.closeMaster(), m_a.closeSlaveKeeper(), queue[0].clear();
            if (m_unplugB.exchange(false))
                m_b.closeMaster(), m_b.closeSlaveKeeper(), queue[1].clear();
            const bool flowing = std::chrono::steady_clock::now() >= m_stallEnd;
            const int fd[2] = {m_a.masterFd(), m_b.masterFd()};
            pollfd fds[2];
            for (int side = 0; side < 2; ++side) {
                fds[side].fd = fd[side];
                fds[side].events = short(POLLIN | (flowing && !queue[side].isEmpty() ? POLLOUT : 0));
                fds[side].revents = 0;
            }
            if (::poll(fds, 2, 10) <= 0)
                continue;
            for (int side = 0; side < 2; ++side) {
                if (fd[side] < 0)
                    continue;
                if (fds[side].revents & POLLIN) {
                    const ssize_t n = ::read(fd[side], buf, sizeof buf);
                    if (n > 0 && fd[1 - side] >= 0)
                        queue[1 - side] += garble(buf, int(n));
                }
                if ((fds[side].revents & POLLOUT) && !queue[side].isEmpty()) {
                    const ssize_t n = ::write(fd[side], queue[side].constData(), size_t(queue[side].size()));
                    if (n > 0)
                        queue[side].remove(0, int(n));
                }
            }
        }
    }

    QByteArray garble(const char *data, int n)
    {
        std::uniform_real_distribution<double> share(0.0, 1.0);
        QByteArray out;
        out.reserve(n + 8);
        for (int i = 0; i < n; ++i) {
            // Every draw is made for every byte, so one fault's share does not
            // move the others' choices.
            const bool drop = share(m_rng) < m_faults.drop;
            const bool flip = share(m_rng) < m_faults.flip;
            const bool dup = share(m_rng) < m_faults.duplicate;
            const int bit = int(m_rng() % 8);
            ++m_moved;
            if (!m_stalled && m_faults.stallAfter >= 0 && m_moved >= m_faults.stallAfter) {
                // Nothing reaches either side for a while; bytes queue up.
                m_stalled = true;
                m_stallEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_faults.stallMs);
            }
            if (drop) {
                ++m_dropped;
                continue;
            }
            char c = data[i];
            if (flip) {
                c = char(quint8(c) ^ quint8(1u << bit));
                ++m_flipped;
            }
            out.append(c);
            if (dup) {
                out.append(c);
                ++m_duplicated;
            }
        }
        return out;
    }

    Faults m_faults;
    std::mt19937 m_rng;
    PtyPair m_a;
    PtyPair m_b;
    std::thread m_thread;
    std::atomic<bool> m_run{false};
    std::atomic<bool> m_unplugA{false};
    std::atomic<bool> m_unplugB{false};
    std::atomic<qint64> m_moved{0};
    std::atomic<qint64> m_flipped{0};
    std::atomic<qint64> m_dropped{0};
    std::atomic<qint64> m_duplicated{0};
    std::atomic<bool> m_stalled{false};
    std::chrono::steady_clock::time_point m_stallEnd{};
};

#endif
