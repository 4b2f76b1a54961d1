// korvexctl watch --metrics against the real consumers: promtool's linter,
// node_exporter's textfile collector, a Prometheus server scraping the
// watched simulators, and clients that misbehave.

#include "HttpProbe.h"
#include "MetricsWatch.h"
#include "MosquittoBroker.h"
#include "PrometheusServer.h"
#include "SimProcess.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// Waits until the endpoint shows an answered sample; the last body read.
QByteArray waitForSample(quint16 port, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    QByteArray body;
    while (clock.elapsed() < timeoutMs) {
        body = HttpProbe::get(port, "/metrics", 2000).body;
        if (body.contains("korvex_laser_temperature_celsius{"))
            break;
        QThread::msleep(100);
    }
    return body;
}

// promtool check metrics on the text: its exit code and what it said.
QPair<int, QByteArray> promtoolCheck(const QByteArray &text)
{
    QProcess promtool;
    promtool.setProcessChannelMode(QProcess::MergedChannels);
    promtool.start("promtool", {"check", "metrics"});
    promtool.waitForStarted(10000);
    promtool.write(text);
    promtool.closeWriteChannel();
    promtool.waitForFinished(30000);
    return {promtool.exitStatus() == QProcess::NormalExit ? promtool.exitCode() : -1, promtool.readAll()};
}

// The largest gap between the times of consecutive JSON lines, in ms.
qint64 largestGapMs(const QByteArray &jsonLines, int *count)
{
    qint64 largest = 0;
    QDateTime previous;
    *count = 0;
    for (const QByteArray &line : jsonLines.split('\n')) {
        const QDateTime t = QDateTime::fromString(QJsonDocument::fromJson(line).object().value("time").toString(),
                                                  Qt::ISODateWithMs);
        if (!t.isValid())
            continue;
        ++*count;
        if (previous.isValid())
            largest = qMax(largest, previous.msecsTo(t));
        previous = t;
    }
    return largest;
}

} // namespace

class TstMetricsEndpoint : public QObject
{
    Q_OBJECT

private slots:
    void unusableEndpointEndsTheWatchAtOnce_data();
    void unusableEndpointEndsTheWatchAtOnce();
    void endpointAndTextFilePassTheirConsumers();
    void misbehavingClientsNeverStopThePoll();
    void prometheusScrapesARack();
};

void TstMetricsEndpoint::unusableEndpointEndsTheWatchAtOnce_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("no port") << QStringList{"--metrics", "web"} << 2 << "--metrics needs [ADDRESS:]PORT";
    QTest::newRow("port too large") << QStringList{"--metrics", "70000"} << 2 << "--metrics needs [ADDRESS:]PORT";
    QTest::newRow("host name") << QStringList{"--metrics", "station.example:9101"} << 2 << "is not an IP address";
    QTest::newRow("no folder") << QStringList{"--metrics-file", "/nonexistent/korvex.prom"} << 2 << "cannot write in the folder";
    QTest::newRow("port taken") << QStringList{"--metrics", "127.0.0.1:%1"} << 6 << "cannot serve metrics on 127.0.0.1";
}

void TstMetricsEndpoint::unusableEndpointEndsTheWatchAtOnce()
{
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost));
    options.replaceInStrings("%1", QString::number(taken.serverPort()));
    // Checked before the port is opened: this one does not exist.
    QProcess watch;
    watch.start(MetricsWatch::program(), QStringList{"--port", "/dev/korvex-no-such-port", "watch"} + options);
    QVERIFY(watch.waitForFinished(10000));
    const QString err = QString::fromUtf8(watch.readAllStandardError());
    QCOMPARE(watch.exitCode(), exitCode);
    QVERIFY2(err.contains(message), qPrintable(err));
}

void TstMetricsEndpoint::endpointAndTextFilePassTheirConsumers()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    QTemporaryDir textDir;
    const QString prom = textDir.filePath("korvex.prom");
    MetricsWatch watch({"--port", sim.ptyPath(), "watch", "--interval", "200", "--metrics-file", prom});
    QVERIFY2(watch.metricsPort(), watch.describe());

    const HttpProbe::Reply first = HttpProbe::get(watch.metricsPort(), "/metrics");
    QCOMPARE(first.status, 200);
    QVERIFY(first.header("Content-Type").startsWith("text/plain; version=0.0.4"));
    const QByteArray text = waitForSample(watch.metricsPort());
    QVERIFY2(text.contains("korvex_up{port=\"" + sim.ptyPath().toUtf8() + "\""), text.constData());
    const auto lint = promtoolCheck(text);
    QVERIFY2(lint.first == 0 && lint.second.isEmpty(), lint.second.constData());

    // The text file: whole after every sample, and read by node_exporter.
    QFile file(prom);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QVERIFY2(written.contains("korvex_laser_temperature_celsius{"), written.constData());
    QCOMPARE(promtoolCheck(written).first, 0);
    const quint16 exporterPort = MosquittoBroker::freePort();
    QProcess exporter;
    exporter.start("prometheus-node-exporter",
                   {"--collector.disable-defaults", "--collector.textfile", "--collector.textfile.directory=" + textDir.path(),
                    QString("--web.listen-address=127.0.0.1:%1").arg(exporterPort)});
    QVERIFY(exporter.waitForStarted(10000));
    QByteArray exported;
    for (int i = 0; i < 50 && !exported.contains("korvex_up{"); ++i) {
        QThread::msleep(200);
        exported = HttpProbe::get(exporterPort, "/metrics", 2000).body;
    }
    exporter.terminate();
    exporter.waitForFinished(5000);
    QVERIFY2(exported.contains("korvex_laser_temperature_celsius{port=\"" + sim.ptyPath().toUtf8() + "\""),
             exported.right(3000).constData());
    QVERIFY2(exported.contains("node_textfile_scrape_error 0"), exported.right(3000).constData());
}

void TstMetricsEndpoint::misbehavingClientsNeverStopThePoll()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    MetricsWatch watch({"--port", sim.ptyPath(), "watch", "--interval", "100", "--jsonl", "-"});
    QVERIFY2(watch.metricsPort(), watch.describe());
    const quint16 port = watch.metricsPort();
    QVERIFY(!waitForSample(port).isEmpty());

    // Answers with a status, never a hang: a wrong method or path, and a
    // request line of a megabyte (414, or closed before its end was read).
    const HttpProbe::Reply post = HttpProbe::send(port, "POST /metrics HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc");
    QCOMPARE(post.status, 405);
    QCOMPARE(post.header("Allow"), QByteArray("GET, HEAD"));
    QCOMPARE(HttpProbe::get(port, "/nothing").status, 404);
    const HttpProbe::Reply huge = HttpProbe::send(port, "GET /" + QByteArray(1 << 20, 'a') + " HTTP/1.0\r\n\r\n");
    QVERIFY2(huge.status == 414 || huge.status == 0, huge.head.constData());

    // A client that stops in the middle of its request, and 200 that
    // connect and say nothing, for three seconds.
    QTcpSocket slow;
    slow.connectToHost("127.0.0.1", port);
    QVERIFY(slow.waitForConnected(5000));
    slow.write("GET /metr");
    slow.flush();
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 200; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost("127.0.0.1", port);
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 3000)
        QTest::qWait(100);
    idle.clear();
    slow.abort();

    // The poll went on all along, and the endpoint serves again.
    QTest::qWait(300);
    int samples = 0;
    const qint64 gap = largestGapMs(watch.output(), &samples);
    QVERIFY2(samples >= 20, watch.describe());
    QVERIFY2(gap < 2000, qPrintable(QString("a gap of %1 ms between samples").arg(gap)));
    QCOMPARE(HttpProbe::get(port, "/metrics").status, 200);
    QVERIFY(watch.isRunning());
}

void TstMetricsEndpoint::prometheusScrapesARack()
{
    // The unit that goes away is watched through a link of its own: its
    // terminal's number is soon another test's, and the watch goes on
    // looking for the port it lost.
    QTemporaryDir links;
    const QString firstPort = links.filePath("unit-a");
    SimProcess first({"--link", firstPort});
    SimProcess stuckFan({"--fan-stuck", "2"});
    QVERIFY2(first.isRunning() && stuckFan.isRunning(), qPrintable(first.errorText() + stuckFan.errorText()));
    const QString stuckPort = stuckFan.ptyPath();
    // One watch for the rack; a third port is not there at all.
    const QString missingPort = "/dev/korvex-no-such-unit";
    MetricsWatch rack({"--port", firstPort, "--port", stuckPort, "--port", missingPort, "watch", "--interval", "200",
                       "--wait-for-port"});
    QVERIFY2(rack.metricsPort(), rack.describe());
    PrometheusServer prometheus({QString("127.0.0.1:%1").arg(rack.metricsPort())});
    QVERIFY2(prometheus.start(), qPrintable(prometheus.errorText()));

    const QJsonArray temperatures = prometheus.waitFor("korvex_laser_temperature_celsius", 2, 20000);
    QCOMPARE(temperatures.size(), 2);
    QStringList ports;
    for (const QJsonValue &series : temperatures) {
        ports << PrometheusServer::labelOf(series, "port");
        const double celsius = PrometheusServer::valueOf(series);
        QVERIFY2(celsius > 5 && celsius < 80, qPrintable(QString::number(celsius)));
    }
    ports.sort();
    QStringList expected{firstPort, stuckPort};
    expected.sort();
    QCOMPARE(ports, expected);

    const QJsonArray alarmed = prometheus.waitFor("korvex_alarm{alarm=\"fan2\"} == 1", 1, 20000);
    QCOMPARE(alarmed.size(), 1);
    QCOMPARE(PrometheusServer::labelOf(alarmed.at(0), "port"), stuckPort);

    // One unit goes away: down within a few scrapes, the other goes on.
    first.terminate();
    const QJsonArray down = prometheus.waitFor(QString("korvex_up{port=\"%1\"} == 0").arg(firstPort), 1, 10000);
    QCOMPARE(down.size(), 1);
    const QString lastSample = QString("korvex_last_sample_timestamp_seconds{port=\"%1\"}").arg(stuckPort);
    const double before = PrometheusServer::valueOf(prometheus.query(lastSample).at(0));
    QTest::qWait(2500);
    QVERIFY(PrometheusServer::valueOf(prometheus.query(lastSample).at(0)) > before);
    QCOMPARE(prometheus.query(QString("korvex_up{port=\"%1\"} == 1").arg(stuckPort)).size(), 1);
    // The lost unit's last values are still there; the unit never seen has
    // korvex_up 0 and nothing else.
    QCOMPARE(prometheus.query(QString("korvex_laser_temperature_celsius{port=\"%1\"}").arg(firstPort)).size(), 1);
    const QJsonArray never = prometheus.query(QString("{port=\"%1\"}").arg(missingPort));
    QCOMPARE(never.size(), 1);
    QCOMPARE(PrometheusServer::labelOf(never.at(0), "__name__"), QString("korvex_up"));
    QCOMPARE(PrometheusServer::valueOf(never.at(0)), 0.0);
    QVERIFY(rack.isRunning());
}

QTEST_GUILESS_MAIN(TstMetricsEndpoint)
#include "tst_metrics_endpoint.moc"
