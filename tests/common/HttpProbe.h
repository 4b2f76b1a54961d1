#ifndef KORVEX_TESTS_HTTPPROBE_H
#define KORVEX_TESTS_HTTPPROBE_H

// Plain HTTP/1.0 requests to a local port, answered in full (the server
// closes after the reply):
//
//   const HttpProbe::Reply r = HttpProbe::get(port, "/metrics");
//   QCOMPARE(r.status, 200);
//   QVERIFY(r.header("Content-Type").startsWith("text/plain; version=0.0.4"));

#include <QByteArray>
#include <QElapsedTimer>
#include <QTcpSocket>

namespace HttpProbe {

struct Reply
{
    int status = 0; // 0: no reply (refused, closed, timed out)
    QByteArray head;
    QByteArray body;

    QByteArray header(const QByteArray &name) const
    {
        for (const QByteArray &line : head.split('\n')) {
            const int colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
                return line.mid(colon + 1).trimmed();
        }
        return QByteArray();
    }
};

// Sends the raw request and reads until the server closes.
inline Reply send(quint16 port, const QByteArray &request, int timeoutMs = 10000)
{
    Reply reply;
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(timeoutMs))
        return reply;
    socket.write(request);
    QByteArray all;
    QElapsedTimer clock;
    clock.start();
    while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < timeoutMs) {
        socket.waitForReadyRead(100);
        all += socket.readAll();
    }
    all += socket.readAll();
    const int end = all.indexOf("\r\n\r\n");
    if (!all.startsWith("HTTP/") || end < 0)
        return reply;
    reply.head = all.left(end);
    reply.body = all.mid(end + 4);
    reply.status = reply.head.mid(reply.head.indexOf(' ') + 1, 3).toInt();
    return reply;
}

inline Reply get(quint16 port, const QByteArray &path, int timeoutMs = 10000)
{
    return send(port, "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", timeoutMs);
}

} // namespace HttpProbe

#endif
