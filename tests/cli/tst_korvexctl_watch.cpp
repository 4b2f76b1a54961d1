// korvexctl watch: CSV and JSON lines rows, lost replies as empty rows, and
// an interrupted recording that keeps every row written.

#include "CtlRun.h"
#include "SimProcess.h"
#include "StatusRecord.h"
#include "TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <csignal>

namespace {

const QRegularExpression Timestamp(
    QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)$"));

QStringList lines(const QString &text)
{
    QStringList out = text.split('\n');
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

} // namespace

class TestKorvexctlWatch : public QObject
{
    Q_OBJECT

private slots:
    void csvRowsOnePerPoll()
    {
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QTemporaryDir dir;
        const QString csv = dir.filePath("night.csv");
        const CtlRun r({"--port", sim.ptyPath(), "watch", "--count", "4", "--interval", "100", "--csv", csv});
        QVERIFY2(r.exitCode == 0, r.describe());
        // With the CSV in a file, the terminal still gets its compact lines.
        QCOMPARE(lines(r.out).size(), 4);

        const QStringList rows = lines(QString::fromUtf8(readFile(csv)));
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows.first(), StatusRecord::csvHeader().join(','));
        QVERIFY(rows.first().contains("alarm_fan1") && rows.first().contains("fan1_rpm"));
        QDateTime previous;
        for (int i = 1; i < rows.size(); ++i) {
            const QStringList fields = rows.at(i).split(',');
            QCOMPARE(fields.size(), 25);
            QVERIFY2(Timestamp.match(fields.at(0)).hasMatch(), qPrintable(fields.at(0)));
            const QDateTime t = QDateTime::fromString(fields.at(0), Qt::ISODateWithMs);
            if (previous.isValid()) {
                const qint64 step = previous.msecsTo(t);
                QVERIFY2(step >= 80 && step < 1000, qPrintable(QString::number(step)));
            }
            previous = t;
            QCOMPARE(fields.at(1), QString("1.5"));
            // The device counts every request: row n reports n frames received.
            QCOMPARE(fields.at(StatusRecord::csvHeader().indexOf("rx_frames")), QString::number(i));
        }
    }

    void lostRepliesAreEmptyRows()
    {
        // Two answers, then silence.
        SimProcess sim({"--silent-after", "2"});
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QTemporaryDir dir;
        const QString jsonl = dir.filePath("w.jsonl");
        const CtlRun r({"--port", sim.ptyPath(), "--retries", "1", "watch", "--count", "3", "--interval", "100",
                        "--csv", "-", "--jsonl", jsonl});
        QVERIFY2(r.exitCode == 0, r.describe());
        const QStringList rows = lines(r.out);
        QCOMPARE(rows.size(), 4); // header and three polls, nothing else on stdout
        QCOMPARE(rows.at(1).split(',').at(1), QString("1.5"));
        QCOMPARE(rows.at(2).split(',').at(1), QString("1.5"));
        const QStringList lost = rows.at(3).split(',');
        QCOMPARE(lost.size(), 25);
        QVERIFY(Timestamp.match(lost.at(0)).hasMatch());
        for (int i = 1; i < lost.size(); ++i)
            QVERIFY2(lost.at(i).isEmpty(), qPrintable(rows.at(3)));
        // The lost poll was asked again once: 2 answered + 2 unanswered requests.
        QCOMPARE(sim.receivedFrames().size(), 4);

        const QStringList objects = lines(QString::fromUtf8(readFile(jsonl)));
        QCOMPARE(objects.size(), 3);
        const QJsonObject good = QJsonDocument::fromJson(objects.at(1).toUtf8()).object();
        QCOMPARE(good.size(), 20);
        QCOMPARE(good["firmware"].toString(), QString("1.5"));
        QVERIFY(!good.contains("lost"));
        const QJsonObject bad = QJsonDocument::fromJson(objects.at(2).toUtf8()).object();
        QCOMPARE(bad.keys(), (QStringList{"lost", "time"}));
        QCOMPARE(bad["lost"].toBool(), true);
        QCOMPARE(bad["time"].toString(), lost.at(0));
    }

    void durationEndsTheWatch()
    {
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun r({"--port", sim.ptyPath(), "watch", "--duration", "1", "--interval", "250", "--jsonl", "-"});
        QVERIFY2(r.exitCode == 0, r.describe());
        const int n = lines(r.out).size();
        QVERIFY2(n >= 3 && n <= 5, qPrintable(QString::number(n))); // 4 on an idle machine
    }

    void ctrlCKeepsEveryRow()
    {
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QTemporaryDir dir;
        const QString csv = dir.filePath("cut.csv");
        QProcess watch;
        watch.start(CtlRun::program(), {"--port", sim.ptyPath(), "watch", "--interval", "100", "--csv", csv});
        QVERIFY(watch.waitForStarted());
        // Rows appear in the file while the watch runs (flushed per row).
        QTRY_VERIFY_WITH_TIMEOUT(lines(QString::fromUtf8(readFile(csv))).size() >= 4, 10000);
        ::kill(pid_t(watch.processId()), SIGINT);
        QVERIFY(watch.waitForFinished(5000));
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), 0); // no count was given: Ctrl-C is the normal end

        const QByteArray content = readFile(csv);
        QVERIFY(content.endsWith('\n'));
        const QStringList rows = lines(QString::fromUtf8(content));
        QVERIFY(rows.size() >= 4);
        for (int i = 1; i < rows.size(); ++i)
            QCOMPARE(rows.at(i).split(',').size(), 25);
        // Every poll the device answered is in the file.
        QCOMPARE(rows.size() - 1, sim.receivedFrames().size());
    }

    void ctrlCBeforeTheCountIsCancelled()
    {
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QProcess watch;
        watch.start(CtlRun::program(), {"--port", sim.ptyPath(), "watch", "--count", "1000", "--interval", "100"});
        QVERIFY(watch.waitForStarted());
        QVERIFY(sim.waitForFrames(2));
        ::kill(pid_t(watch.processId()), SIGINT);
        QVERIFY(watch.waitForFinished(5000));
        QCOMPARE(watch.exitCode(), 3);
    }
};

QTEST_GUILESS_MAIN(TestKorvexctlWatch)
#include "tst_korvexctl_watch.moc"
