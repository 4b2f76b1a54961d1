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
#include <memory>

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

QStringList fileRows(const QString &path)
{
    return lines(QString::fromUtf8(readFile(path)));
}

bool isLostRow(const QString &row)
{
    return row.split(',').size() == 25 && row.section(',', 1).remove(',').isEmpty();
}

QString csvHeader()
{
    return StatusRecord::csvHeader().join(',');
}

// A watch running in the background; its stderr is kept as it comes.
struct RunningWatch {
    explicit RunningWatch(const QStringList &args)
    {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(CtlRun::program(), args);
        process.waitForStarted();
    }
    ~RunningWatch()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    QString err()
    {
        stderrText += QString::fromUtf8(process.readAllStandardError());
        return stderrText;
    }
    void signal(int sig)
    {
        if (process.state() == QProcess::Running && process.processId() > 0)
            ::kill(pid_t(process.processId()), sig);
    }
    QProcess process;
    QString stderrText;
};

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

    // The simulator goes away from its stable name and comes back there.
    void portThatGoesIsWaitedFor_data()
    {
        QTest::addColumn<bool>("exitOnLoss");
        QTest::newRow("waits and reopens") << false;
        QTest::newRow("--exit-on-port-loss") << true;
    }

    void portThatGoesIsWaitedFor()
    {
        QFETCH(bool, exitOnLoss);
        QTemporaryDir dir;
        const QString link = dir.filePath("laser");
        const QString csv = dir.filePath("night.csv");
        auto sim = std::make_unique<SimProcess>(QStringList{"--link", link});
        QVERIFY2(sim->isRunning(), qPrintable(sim->errorText()));
        QStringList args{"--port", link, "watch", "--interval", "100", "--csv", csv};
        if (exitOnLoss)
            args << "--exit-on-port-loss";
        RunningWatch watch(args);
        QTRY_VERIFY_WITH_TIMEOUT(fileRows(csv).size() >= 4, 10000);
        sim.reset();
        if (exitOnLoss) {
            QVERIFY(watch.process.waitForFinished(10000));
            QCOMPARE(watch.process.exitCode(), 4);
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(watch.err().contains("gone"), 10000);
        QTest::qWait(1500);
        QVERIFY(watch.process.state() == QProcess::Running);
        sim = std::make_unique<SimProcess>(QStringList{"--link", link});
        QVERIFY2(sim->isRunning(), qPrintable(sim->errorText()));
        QTRY_VERIFY_WITH_TIMEOUT(sim->receivedFrames().size() >= 3, 15000);
        watch.signal(SIGINT);
        QVERIFY(watch.process.waitForFinished(10000));
        QCOMPARE(watch.process.exitCode(), 0);
        QCOMPARE(watch.err().count("gone"), 1);
        QCOMPARE(watch.err().count("is back"), 1);

        // One file, one header, a row per interval: samples, lost rows, samples.
        const QStringList rows = fileRows(csv);
        QCOMPARE(rows.first(), csvHeader());
        QCOMPARE(rows.count(csvHeader()), 1);
        int lost = 0;
        QDateTime previous;
        for (const QString &row : rows.mid(1)) {
            QCOMPARE(row.split(',').size(), 25);
            lost += isLostRow(row) ? 1 : 0;
            const QDateTime t = QDateTime::fromString(row.section(',', 0, 0), Qt::ISODateWithMs);
            QVERIFY(!previous.isValid() || previous.msecsTo(t) < 1000);
            previous = t;
        }
        QVERIFY2(lost >= 10, qPrintable(QString::number(lost)));
        QVERIFY(!isLostRow(rows.at(1)));
        QVERIFY(!isLostRow(rows.last()));
    }

    void portMissingAtStart_data()
    {
        QTest::addColumn<bool>("wait");
        QTest::newRow("--wait-for-port") << true;
        QTest::newRow("no waiting: exit 6") << false;
    }

    void portMissingAtStart()
    {
        QFETCH(bool, wait);
        QTemporaryDir dir;
        const QString link = dir.filePath("laser");
        QStringList args{"--port", link, "watch", "--interval", "100", "--count", "20", "--csv", "-"};
        if (wait)
            args << "--wait-for-port";
        QProcess watch;
        watch.start(CtlRun::program(), args);
        QVERIFY(watch.waitForStarted());
        QTest::qWait(700);
        SimProcess sim({"--link", link});
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        // (Without waiting, it has ended already.)
        QVERIFY(watch.state() == QProcess::NotRunning || watch.waitForFinished(20000));
        const QStringList rows = lines(QString::fromUtf8(watch.readAllStandardOutput()));
        if (!wait) {
            QCOMPARE(watch.exitCode(), 6);
            QVERIFY(rows.isEmpty());
            return;
        }
        QCOMPARE(watch.exitCode(), 0);
        QCOMPARE(rows.size(), 21);
        QVERIFY(isLostRow(rows.at(1)));
        QVERIFY(!isLostRow(rows.last()));
    }

    // What an existing file gets: refused, added to, or replaced.
    void existingFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("linesAfter"); // -1: the file is unchanged
        const QByteArray header = csvHeader().toUtf8() + "\n";
        const QByteArray row = "2026-12-01T00:00:00.000+00:00" + QByteArray(24, ',') + "\n";
        QTest::newRow("csv with data: refused") << "csv" << header + row << "" << 2 << -1;
        QTest::newRow("csv appended") << "csv" << header + row << "--append" << 0 << 4;
        QTest::newRow("csv, other header: refused") << "csv" << QByteArray("time,power\n") + row << "--append" << 2 << -1;
        QTest::newRow("csv overwritten") << "csv" << header + row << "--overwrite" << 0 << 3;
        QTest::newRow("empty csv") << "csv" << QByteArray() << "" << 0 << 3;
        QTest::newRow("jsonl appended") << "jsonl" << QByteArray("{\"lost\":true}\n") << "--append" << 0 << 3;
        QTest::newRow("jsonl with data: refused") << "jsonl" << QByteArray("{}\n") << "" << 2 << -1;
    }

    void existingFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, before);
        QFETCH(QString, flag);
        QFETCH(int, exitCode);
        QFETCH(int, linesAfter);
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QTemporaryDir dir;
        const QString file = dir.filePath("rec." + kind);
        QVERIFY(writeFile(file, before));
        QStringList args{"--port", sim.ptyPath(), "watch", "--count", "2", "--interval", "100", "--" + kind, file};
        if (!flag.isEmpty())
            args << flag;
        const CtlRun r(args);
        QVERIFY2(r.exitCode == exitCode, r.describe());
        if (linesAfter < 0) {
            QCOMPARE(readFile(file), before);
            QVERIFY2(r.err.contains(file), r.describe());
            QCOMPARE(sim.receivedFrames().size(), 0);
            return;
        }
        const QStringList after = fileRows(file);
        QCOMPARE(after.size(), linesAfter);
        if (kind == "csv")
            QCOMPARE(after.count(csvHeader()), 1);
        QVERIFY(!after.last().isEmpty());
    }

    // Log rotation: the file is moved away, SIGHUP, a new file with its header.
    void sighupReopensTheFiles()
    {
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QTemporaryDir dir;
        const QString csv = dir.filePath("w.csv");
        const QString jsonl = dir.filePath("w.jsonl");
        RunningWatch watch({"--port", sim.ptyPath(), "watch", "--interval", "100", "--csv", csv, "--jsonl", jsonl});
        QTRY_VERIFY_WITH_TIMEOUT(fileRows(csv).size() >= 3, 10000);
        QVERIFY(QFile::rename(csv, csv + ".1"));
        QVERIFY(QFile::rename(jsonl, jsonl + ".1"));
        watch.signal(SIGHUP);
        QTRY_VERIFY_WITH_TIMEOUT(fileRows(csv).size() >= 3 && fileRows(jsonl).size() >= 2, 10000);
        QVERIFY(watch.process.state() == QProcess::Running);
        watch.signal(SIGINT);
        QVERIFY(watch.process.waitForFinished(10000));
        QCOMPARE(watch.process.exitCode(), 0);
        const QStringList oldRows = fileRows(csv + ".1");
        const QStringList newRows = fileRows(csv);
        QCOMPARE(newRows.first(), csvHeader());
        QCOMPARE(oldRows.first(), csvHeader());
        // Every answered poll is in one of the two files, once.
        QCOMPARE(oldRows.size() + newRows.size() - 2, sim.receivedFrames().size());
        QCOMPARE(fileRows(jsonl + ".1").size() + fileRows(jsonl).size(), sim.receivedFrames().size());
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
