#ifndef KORVEX_TESTS_METRICSWATCH_H
#define KORVEX_TESTS_METRICSWATCH_H

// A running `korvexctl watch --metrics 127.0.0.1:0 ...`, with the port its
// endpoint took (from the line it prints on stderr):
//
//   MetricsWatch watch({"--port", sim.ptyPath(), "watch", "--interval", "200"});
//   QVERIFY2(watch.metricsPort(), watch.describe());
//   HttpProbe::get(watch.metricsPort(), "/metrics");
//
// Its stdout goes to a file, so that a full pipe never holds it up.

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

class MetricsWatch
{
public:
    explicit MetricsWatch(const QStringList &args, int startWaitMs = 10000)
    {
        process.setStandardOutputFile(dir.filePath("stdout"));
        process.start(program(), args + QStringList{"--metrics", "127.0.0.1:0"});
        process.waitForStarted(5000);
        const QRegularExpression announced("metrics at http://127\\.0\\.0\\.1:(\\d+)/metrics");
        QElapsedTimer clock;
        clock.start();
        while (port == 0 && clock.elapsed() < startWaitMs && process.state() == QProcess::Running) {
            process.waitForReadyRead(100);
            stderrText += process.readAllStandardError();
            const QRegularExpressionMatch m = announced.match(QString::fromUtf8(stderrText));
            if (m.hasMatch())
                port = quint16(m.captured(1).toUInt());
        }
    }
    ~MetricsWatch()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    static QString program()
    {
        return qEnvironmentVariable("KORVEX_BUILD_DIR", QStringLiteral(".")) + QStringLiteral("/korvexctl");
    }

    quint16 metricsPort() const { return port; }
    bool isRunning() const { return process.state() == QProcess::Running; }
    QByteArray output() const
    {
        QFile f(dir.filePath("stdout"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    const char *describe()
    {
        stderrText += process.readAllStandardError();
        described = "watch: " + stderrText.right(1500);
        return described.constData();
    }
    QString filePath(const QString &name) const { return dir.filePath(name); }

private:
    QTemporaryDir dir;
    QProcess process;
    QByteArray stderrText;
    QByteArray described;
    quint16 port = 0;
};

#endif
