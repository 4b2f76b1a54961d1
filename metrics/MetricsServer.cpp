#include "MetricsServer.h"

#include "MetricsExposition.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

const char IndexPage[] =
    "<!DOCTYPE html>\n<html><head><title>korvexctl watch</title></head>\n"
    "<body><h1>korvexctl watch</h1><p><a href=\"/metrics\">Metrics</a></p></body></html>\n";
const char HtmlType[] = "text/html; charset=utf-8";
const char PlainType[] = "text/plain; charset=utf-8";

// libmicrohttpd's messages: the one that explains a failed start is kept;
// what it says while serving (a client refused for the connection limit, a
// request too large) is about clients, not for the operator's terminal.
struct StartLog
{
    std::atomic<bool> collecting{false};
    char text[256] = "";
};

void logMessage(void *cls, const char *format, va_list args)
{
    auto *log = static_cast<StartLog *>(cls);
    if (!log->collecting.load())
        return;
    std::vsnprintf(log->text, sizeof log->text, format, args);
    const size_t n = std::strlen(log->text);
    if (n > 0 && log->text[n - 1] == '\n')
        log->text[n - 1] = '\0';
}

StartLog startLog;

MHD_Result onRequest(void *self, MHD_Connection *connection, const char *url, const char *method, const char *,
                     const char *, size_t *uploadSize, void **)
{
    // A body sent with the request is not read: the reply goes out at the
    // first call, and libmicrohttpd closes the connection after it.
    *uploadSize = 0;
    const MetricsServer::Reply reply = static_cast<const MetricsServer *>(self)->answer(url, method);
    MHD_Response *response = MHD_create_response_from_buffer(
        size_t(reply.body.size()), const_cast<char *>(reply.body.constData()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType);
    if (reply.status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    const MHD_Result result = MHD_queue_response(connection, reply.status, response);
    MHD_destroy_response(response);
    return result;
}

} // namespace

MetricsServer::MetricsServer(std::function<QByteArray()> source) : textSource(std::move(source)) {}

MetricsServer::~MetricsServer()
{
    stop();
}

MetricsServer::Reply MetricsServer::answer(const char *url, const char *method) const
{
    const bool get = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 || std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    const bool metrics = std::strcmp(url, "/metrics") == 0;
    const bool index = std::strcmp(url, "/") == 0;
    if (!metrics && !index)
        return {MHD_HTTP_NOT_FOUND, QByteArrayLiteral("Not found: the metrics are at /metrics\n"), PlainType};
    if (!get)
        return {MHD_HTTP_METHOD_NOT_ALLOWED, QByteArrayLiteral("Only GET and HEAD\n"), PlainType};
    if (index)
        return {MHD_HTTP_OK, QByteArray(IndexPage), HtmlType};
    return {MHD_HTTP_OK, textSource(), MetricsExposition::ContentType};
}

bool MetricsServer::start(const QHostAddress &address, quint16 port, QString *error)
{
    stop();
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr *bindTo = nullptr;
    unsigned int flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_USE_ERROR_LOG;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        const Q_IPV6ADDR a = address.toIPv6Address();
        std::memcpy(&v6.sin6_addr, &a, sizeof a);
        bindTo = reinterpret_cast<const sockaddr *>(&v6);
        flags |= MHD_USE_IPv6;
    } else {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = htonl(address.toIPv4Address());
        bindTo = reinterpret_cast<const sockaddr *>(&v4);
    }
    startLog.text[0] = '\0';
    startLog.collecting = true;
    daemon = MHD_start_daemon(flags, port, nullptr, nullptr, &onRequest, this,
                              MHD_OPTION_EXTERNAL_LOGGER, &logMessage, &startLog,
                              MHD_OPTION_SOCK_ADDR, bindTo,
                              MHD_OPTION_CONNECTION_LIMIT, unsigned(MaxConnections),
                              MHD_OPTION_CONNECTION_TIMEOUT, unsigned(ConnectionTimeoutSeconds),
                              MHD_OPTION_CONNECTION_MEMORY_LIMIT, size_t(ConnectionMemoryBytes),
                              MHD_OPTION_END);
    startLog.collecting = false;
    if (!daemon) {
        const QString why = startLog.text[0] ? QString::fromLocal8Bit(startLog.text) : QStringLiteral("the HTTP server did not start");
        *error = QStringLiteral("cannot serve metrics on %1 port %2: %3").arg(address.toString()).arg(port).arg(why);
        return false;
    }
    const MHD_DaemonInfo *info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT);
    boundPort = info ? info->port : port;
    return true;
}

void MetricsServer::stop()
{
    if (daemon)
        MHD_stop_daemon(daemon);
    daemon = nullptr;
    boundPort = 0;
}
