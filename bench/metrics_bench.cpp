// One scrape of a rack: the metrics text of N units (default 32) written and
// served over HTTP by the endpoint, timed over many scrapes.
//   korvex-metrics-bench [N] [SCRAPES]

#include "MetricsBoard.h"
#include "MetricsServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// A GET over a fresh connection, read to the server's close; its bytes.
qint64 scrape(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    socket.waitForConnected(5000);
    socket.write("GET /metrics HTTP/1.0\r\n\r\n");
    qint64 bytes = 0;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
        bytes += socket.readAll().size();
    return bytes + socket.readAll().size();
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[size_t(p * double(v.size() - 1))];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int units = argc > 1 ? std::max(1, atoi(argv[1])) : 32;
    const int scrapes = argc > 2 ? std::max(1, atoi(argv[2])) : 200;

    auto board = std::make_shared<MetricsBoard>();
    for (int i = 0; i < units; ++i) {
        const int unit = board->addUnit(QStringLiteral("/dev/ttyUSB%1").arg(i));
        DevStatusCache c;
        c.serialNum = QByteArray::fromHex("010203180709002A");
        c.ldTemp = qint16(250 + i);
        c.fanSpeed1 = quint16(3000 + i);
        board->sample(unit, QDateTime::currentDateTime(), c);
    }
    MetricsServer server([board] { return board->text(); });
    QString error;
    if (!server.start(QHostAddress::LocalHost, 0, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::vector<double> textMs, scrapeMs;
    qint64 bytes = 0;
    for (int i = 0; i < scrapes; ++i) {
        QElapsedTimer t;
        t.start();
        bytes = board->text().size();
        textMs.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        scrape(server.port());
        scrapeMs.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("%d units, %lld bytes: writing the text %.3f ms (median), %.3f ms (99th); "
                "one scrape over HTTP %.3f ms (median), %.3f ms (99th), %d scrapes\n",
                units, static_cast<long long>(bytes), percentile(textMs, 0.5), percentile(textMs, 0.99),
                percentile(scrapeMs, 0.5), percentile(scrapeMs, 0.99), scrapes);
    return 0;
}
