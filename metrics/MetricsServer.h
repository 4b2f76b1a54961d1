#ifndef KORVEX_METRICSSERVER_H
#define KORVEX_METRICSSERVER_H

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <functional>

struct MHD_Daemon;

// The HTTP endpoint a Prometheus server scrapes, on libmicrohttpd's own
// thread: GET (or HEAD) /metrics answers the text of `source`, / a short
// page that links it; another path is 404, another method 405.
//
// A client never holds up the poll: the server runs on its own thread and
// only asks `source` (which must be thread-safe) for the text. A client gets
// a small memory pool, so a request line or header beyond it is answered 414
// or 431 and closed; a connection idle for ConnectionTimeoutSeconds is
// closed; beyond MaxConnections a new connection is closed at once.
class MetricsServer
{
public:
    static constexpr int MaxConnections = 64;
    static constexpr int ConnectionTimeoutSeconds = 10;
    static constexpr int ConnectionMemoryBytes = 32 * 1024;

    struct Reply
    {
        unsigned int status;
        QByteArray body;
        const char *contentType;
    };

    explicit MetricsServer(std::function<QByteArray()> source);
    ~MetricsServer();
    MetricsServer(const MetricsServer &) = delete;
    MetricsServer &operator=(const MetricsServer &) = delete;

    // Listens on the address; port 0 takes a free one (see port()).
    // False with a message when it cannot listen there.
    bool start(const QHostAddress &address, quint16 port, QString *error);
    void stop();
    quint16 port() const { return boundPort; }

    // What a request gets (on the server's thread).
    Reply answer(const char *url, const char *method) const;

private:
    std::function<QByteArray()> textSource;
    MHD_Daemon *daemon = nullptr;
    quint16 boundPort = 0;
};

#endif
