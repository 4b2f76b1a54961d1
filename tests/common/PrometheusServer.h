#ifndef KORVEX_TESTS_PROMETHEUSSERVER_H
#define KORVEX_TESTS_PROMETHEUSSERVER_H

// A real Prometheus server for a test: its configuration and its database in
// a temporary folder, its own free port, scraping the given targets every
// second.
//
//   PrometheusServer prometheus({"127.0.0.1:9101"});
//   QVERIFY2(prometheus.start(), qPrintable(prometheus.errorText()));
//   const QJsonArray series = prometheus.query("korvex_up == 0");

#include "HttpProbe.h"
#include "MosquittoBroker.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

class PrometheusServer
{
public:
    explicit PrometheusServer(const QStringList &targets) : scrapeTargets(targets), webPort(MosquittoBroker::freePort()) {}
    ~PrometheusServer()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(10000))
                process.kill();
            process.waitForFinished(5000);
        }
    }

    bool start(int readyWaitMs = 30000)
    {
        QFile config(dir.filePath("prometheus.yml"));
        if (!dir.isValid() || !config.open(QIODevice::WriteOnly)) {
            error = "no temporary folder for prometheus";
            return false;
        }
        QByteArray targets;
        for (const QString &t : scrapeTargets)
            targets += "'" + t.toUtf8() + "', ";
        config.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 900ms\n  evaluation_interval: 1s\n"
                     "scrape_configs:\n  - job_name: korvex\n    static_configs:\n      - targets: [" + targets + "]\n");
        config.close();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(dir.filePath("prometheus.log"));
        process.start("prometheus", {"--config.file=" + config.fileName(), "--storage.tsdb.path=" + dir.filePath("data"),
                                     QString("--web.listen-address=127.0.0.1:%1").arg(webPort)});
        if (!process.waitForStarted(10000)) {
            error = "prometheus did not start: " + process.errorString();
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < readyWaitMs && process.state() == QProcess::Running) {
            if (HttpProbe::get(webPort, "/-/ready", 2000).status == 200)
                return true;
            QThread::msleep(200);
        }
        error = "prometheus did not get ready: " + log();
        return false;
    }

    // The instant vector of a PromQL query (each element: metric, value).
    QJsonArray query(const QString &expr) const
    {
        const QByteArray path = "/api/v1/query?query=" + QUrl::toPercentEncoding(expr);
        const HttpProbe::Reply r = HttpProbe::get(webPort, path, 5000);
        return QJsonDocument::fromJson(r.body).object().value("data").toObject().value("result").toArray();
    }

    // Asks until the query returns `count` series, at most timeoutMs.
    QJsonArray waitFor(const QString &expr, int count, int timeoutMs) const
    {
        QElapsedTimer clock;
        clock.start();
        QJsonArray result;
        do {
            result = query(expr);
            if (result.size() == count)
                break;
            QThread::msleep(250);
        } while (clock.elapsed() < timeoutMs);
        return result;
    }

    static double valueOf(const QJsonValue &series)
    {
        return series.toObject().value("value").toArray().at(1).toString().toDouble();
    }
    static QString labelOf(const QJsonValue &series, const QString &label)
    {
        return series.toObject().value("metric").toObject().value(label).toString();
    }

    QString errorText() const { return error; }
    QString log() const
    {
        QFile f(dir.filePath("prometheus.log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll().right(2000)) : QString();
    }

private:
    QTemporaryDir dir;
    QStringList scrapeTargets;
    quint16 webPort;
    QProcess process;
    QString error;
};

#endif
