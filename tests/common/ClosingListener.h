#ifndef KORVEX_TESTS_CLOSINGLISTENER_H
#define KORVEX_TESTS_CLOSINGLISTENER_H

// A listener that accepts every connection and closes it at once, as a load
// balancer does while the service behind it is down (or first says something
// that is not MQTT, as another service on the port would):
//
//   ClosingListener lb(broker.port());   // the broker is stopped first
//   ClosingListener web(port, "HTTP/1.0 400 Bad Request\r\n\r\n");
//   QVERIFY(lb.isListening());
//   ... lb.accepted() connections so far ...
//
// It listens on 127.0.0.1 (and ::1 when it can) until destroyed.

#include <QByteArray>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

class ClosingListener
{
public:
    explicit ClosingListener(quint16 port, const QByteArray &reply = QByteArray()) : m_reply(reply)
    {
        listenOn(AF_INET, port);
        listenOn(AF_INET6, port);
        if (!m_fds.empty())
            m_thread = std::thread([this] { run(); });
    }
    ~ClosingListener()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (int fd : m_fds)
            ::close(fd);
    }
    ClosingListener(const ClosingListener &) = delete;
    ClosingListener &operator=(const ClosingListener &) = delete;

    bool isListening() const { return !m_fds.empty(); }
    int accepted() const { return m_accepted; }

private:
    void listenOn(int family, quint16 port)
    {
        const int fd = ::socket(family, SOCK_STREAM, 0);
        if (fd < 0)
            return;
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        bool bound = false;
        if (family == AF_INET) {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(port);
            bound = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        } else {
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_addr = in6addr_loopback;
            a.sin6_port = htons(port);
            bound = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        }
        if (!bound || ::listen(fd, 16) != 0) {
            ::close(fd);
            return;
        }
        m_fds.push_back(fd);
    }

    void run()
    {
        std::vector<pollfd> polled;
        for (int fd : m_fds)
            polled.push_back(pollfd{fd, POLLIN, 0});
        while (!m_stop) {
            if (::poll(polled.data(), polled.size(), 50) <= 0)
                continue;
            for (const pollfd &p : polled) {
                if (!(p.revents & POLLIN))
                    continue;
                const int client = ::accept(p.fd, nullptr, nullptr);
                if (client >= 0) {
                    // A client that left first gets nothing; that is all.
                    const ssize_t written = ::write(client, m_reply.constData(), size_t(m_reply.size()));
                    Q_UNUSED(written)
                    ::close(client);
                    ++m_accepted;
                }
            }
        }
    }

    QByteArray m_reply;
    std::vector<int> m_fds;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
};

#endif
