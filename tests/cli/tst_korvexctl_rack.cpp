// korvexctl watch over a rack: several --port in one process, each unit its
// own files (by {port} or {serial}) and its own samples; files that two
// outputs would share are refused before anything is polled; the summary
// the watch ends with.

#include "CtlRun.h"
#include "MosquittoBroker.h"
#include "MqttSubscriber.h"
#include "SimProcess.h"
#include "StatusRecord.h"
#include "TestFiles.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QStringList fileRows(const QString &path)
{
    QStringList rows = QString::fromUtf8(readFile(path)).split('\n');
    if (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    return rows;
}

bool isLostRow(const QString &row)
{
    return row.section(',', 1).remove(',').isEmpty();
}

qint64 spanMs(const QStringList &rows)
{
    const auto t = [](const QString &row) { return QDateTime::fromString(row.section(',', 0, 0), Qt::ISODateWithMs); };
    return t(rows.at(1)).msecsTo(t(rows.last()));
}

} // namespace

class TestKorvexctlRack : public QObject
{
    Q_OBJECT
private slots:
    void sharedFilesAreRefusedBeforePolling_data();
    void sharedFilesAreRefusedBeforePolling();
    void eachUnitItsOwnFile();
    void twoUnitsOfOneSerialNeverShareAFile();
    void aSilentUnitDelaysNoOther();
    void eachUnitPublishesAsItself();
    void theWatchEndsWithASummary_data();
    void theWatchEndsWithASummary();
};

void TestKorvexctlRack::sharedFilesAreRefusedBeforePolling_data()
{
    // DIR: a fresh folder holding an empty a.csv and the link l.csv to it;
    // A, B: two units; A2: a second name of A's device in another folder.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("why");
    QTest::newRow("csv and jsonl into one file")
        << QStringList{"--port", "A", "watch", "--csv", "DIR/w.log", "--jsonl", "DIR/w.log"} << "never share a file";
    QTest::newRow("one file under two names (./)")
        << QStringList{"--port", "A", "watch", "--csv", "DIR/w.log", "--jsonl", "DIR/./w.log"} << "never share a file";
    QTest::newRow("one file under two names (a link)")
        << QStringList{"--port", "A", "watch", "--overwrite", "--csv", "DIR/a.csv", "--jsonl", "DIR/l.csv"}
        << "never share a file";
    QTest::newRow("a folder that is not there")
        << QStringList{"--port", "A", "watch", "--csv", "/nonexistent/x.csv"} << "the folder /nonexistent does not exist";
    QTest::newRow("a rack into one file")
        << QStringList{"--port", "A", "--port", "B", "watch", "--csv", "DIR/all.csv"} << "put {port} or {serial}";
    QTest::newRow("a rack on stdout") << QStringList{"--port", "A", "--port", "B", "watch", "--jsonl", "-"}
                                      << "would mix on stdout";
    QTest::newRow("two ports of one base name")
        << QStringList{"--port", "A", "--port", "DIR/other/B", "watch", "--csv", "DIR/{port}.csv"}
        << "never share a file";
    QTest::newRow("{serial} twice") << QStringList{"--port", "A", "watch", "--csv", "DIR/{serial}", "--jsonl", "DIR/{serial}"}
                                    << "never share a file";
    QTest::newRow("an unknown placeholder") << QStringList{"--port", "A", "watch", "--csv", "DIR/{unit}.csv"}
                                            << "only the placeholders {port} and {serial}";
    QTest::newRow("one MQTT ID for a rack")
        << QStringList{"--port", "A", "--port", "B", "watch", "--mqtt", "localhost", "--mqtt-id", "bench"}
        << "need {port}";
}

void TestKorvexctlRack::sharedFilesAreRefusedBeforePolling()
{
    QFETCH(QStringList, args);
    QFETCH(QString, why);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("a.csv"), QByteArray()));
    QVERIFY(QFile::link(dir.filePath("a.csv"), dir.filePath("l.csv")));
    QVERIFY(QDir(dir.path()).mkdir("other"));
    SimProcess a, b;
    QVERIFY2(a.isRunning() && b.isRunning(), qPrintable(a.errorText() + b.errorText()));
    // B's second name has A's base name: {port} gives both one file.
    QVERIFY(QFile::link(b.ptyPath(), dir.filePath("other/" + QFileInfo(a.ptyPath()).fileName())));
    for (QString &arg : args) {
        arg.replace("DIR/other/B", dir.filePath("other/" + QFileInfo(a.ptyPath()).fileName()));
        arg.replace("DIR", dir.path());
        if (arg == "A")
            arg = a.ptyPath();
        else if (arg == "B")
            arg = b.ptyPath();
    }
    const CtlRun r(args);
    QVERIFY2(r.exitCode == 2, r.describe());
    QVERIFY2(r.err.contains(why), r.describe());
    QVERIFY(a.receivedFrames().isEmpty());
    QVERIFY(b.receivedFrames().isEmpty());
}

void TestKorvexctlRack::eachUnitItsOwnFile()
{
    SimProcess a, b;
    QVERIFY2(a.isRunning() && b.isRunning(), qPrintable(a.errorText() + b.errorText()));
    // B gets a serial number of its own (both start with the same one).
    const CtlRun serial({"--port", b.ptyPath(), "--factory", "serial-number", "--raw", "0061A91807090002"});
    QVERIFY2(serial.exitCode == 0, serial.describe());
    QTemporaryDir dir;
    const CtlRun r({"--port", a.ptyPath(), "--port", b.ptyPath(), "watch", "--count", "3", "--interval", "100",
                    "--csv", dir.filePath("{port}.csv"), "--jsonl", dir.filePath("{serial}.jsonl")});
    QVERIFY2(r.exitCode == 0, r.describe());
    for (const SimProcess *sim : {&a, &b}) {
        const QStringList rows = fileRows(dir.filePath(QFileInfo(sim->ptyPath()).fileName() + ".csv"));
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows.first(), StatusRecord::csvHeader().join(','));
        // Each unit's last row reports every frame that unit received.
        const int rx = StatusRecord::csvHeader().indexOf("rx_frames");
        QCOMPARE(rows.last().split(',').at(rx), QString::number(sim->receivedFrames().size()));
    }
    QCOMPARE(fileRows(dir.filePath("25001-202407090001.jsonl")).size(), 3);
    QCOMPARE(fileRows(dir.filePath("25001-202407090002.jsonl")).size(), 3);
    // The terminal lines name their unit; every poll answered: nothing to sum up.
    QCOMPARE(r.out.count(a.ptyPath() + " "), 3);
    QCOMPARE(r.out.count(b.ptyPath() + " "), 3);
    QVERIFY2(r.err.isEmpty(), r.describe());
}

void TestKorvexctlRack::twoUnitsOfOneSerialNeverShareAFile()
{
    // Both units report the same serial number: the second one's file is
    // the first one's, which is only known once they have answered.
    SimProcess a, b;
    QVERIFY2(a.isRunning() && b.isRunning(), qPrintable(a.errorText() + b.errorText()));
    QTemporaryDir dir;
    const CtlRun r({"--port", a.ptyPath(), "--port", b.ptyPath(), "watch", "--count", "3", "--interval", "100",
                    "--csv", dir.filePath("{serial}.csv")});
    QVERIFY2(r.exitCode == 5, r.describe());
    QVERIFY2(r.err.contains("is the file of --csv of"), r.describe());
    const QStringList rows = fileRows(dir.filePath("25001-202407090001.csv"));
    QVERIFY(rows.size() >= 2);
    QCOMPARE(rows.count(StatusRecord::csvHeader().join(',')), 1); // one unit's rows only
}

void TestKorvexctlRack::aSilentUnitDelaysNoOther()
{
    SimProcess a, silent({"--silent-after", "0"});
    QVERIFY2(a.isRunning() && silent.isRunning(), qPrintable(a.errorText() + silent.errorText()));
    QTemporaryDir dir;
    const CtlRun r({"--port", a.ptyPath(), "--port", silent.ptyPath(), "watch", "--count", "6", "--interval", "100",
                    "--csv", dir.filePath("{port}.csv")});
    QVERIFY2(r.exitCode == 4, r.describe()); // one unit never answered
    QVERIFY2(r.err.contains("no valid reply from " + silent.ptyPath()), r.describe());
    // The summary has a line per unit (a serial number once the unit told it).
    QVERIFY2(r.err.contains(a.ptyPath() + " (25001-202407090001): 6 samples, 0 lost, no gap"), r.describe());
    QVERIFY2(r.err.contains(silent.ptyPath() + ": 0 samples, 6 lost, longest gap"), r.describe());
    const QStringList answered = fileRows(dir.filePath(QFileInfo(a.ptyPath()).fileName() + ".csv"));
    const QStringList lost = fileRows(dir.filePath(QFileInfo(silent.ptyPath()).fileName() + ".csv"));
    QCOMPARE(answered.size(), 7);
    QCOMPARE(lost.size(), 7);
    for (int i = 1; i < 7; ++i) {
        QVERIFY(!isLostRow(answered.at(i)));
        QVERIFY(isLostRow(lost.at(i)));
    }
    // The silent unit's polls last their three attempts each; the other
    // unit's six went at its own pace, not at the silent one's.
    QVERIFY2(spanMs(answered) < spanMs(lost), qPrintable(QStringLiteral("%1 ms against %2 ms")
                                                             .arg(spanMs(answered)).arg(spanMs(lost))));
}

void TestKorvexctlRack::eachUnitPublishesAsItself()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    SimProcess a, b;
    QVERIFY2(a.isRunning() && b.isRunning(), qPrintable(a.errorText() + b.errorText()));
    const CtlRun serial({"--port", b.ptyPath(), "--factory", "serial-number", "--raw", "0061A91807090002"});
    QVERIFY2(serial.exitCode == 0, serial.describe());
    MqttSubscriber sub(broker.port(), "korvex/#");
    QVERIFY(sub.waitForConnected());
    const QStringList units{"korvex/25001-202407090001/", "korvex/25001-202407090002/"};
    QProcess watch;
    watch.setStandardOutputFile(QProcess::nullDevice());
    watch.start(CtlRun::program(), {"--port", a.ptyPath(), "--port", b.ptyPath(), "watch", "--interval", "100",
                                    "--mqtt", "127.0.0.1:" + QString::number(broker.port())});
    QVERIFY(watch.waitForStarted());
    for (const QString &unit : units) {
        QVERIFY(sub.waitFor([&] { return sub.payloads(unit.toUtf8() + "status").size() >= 3; }, 15000));
        QCOMPARE(sub.payloads(unit.toUtf8() + "online").value(0), QByteArray("true"));
    }
    // Killed: the broker tells each unit's end by that unit's own last will.
    watch.kill();
    QVERIFY(watch.waitForFinished(5000));
    for (const QString &unit : units)
        QVERIFY(sub.waitFor([&] { return sub.payloads(unit.toUtf8() + "online").value(1) == "false"; }, 15000));
}

void TestKorvexctlRack::theWatchEndsWithASummary_data()
{
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<QStringList>("watchOptions");
    QTest::addColumn<QString>("summary"); // a pattern of the summary line; empty: none
    const QStringList count{"--count", "4"};
    QTest::newRow("all answered, until the duration")
        << QStringList() << QStringList{"--duration", "0.35"} << "^korvexctl: watch: [34] samples, 0 lost, no gap, no alarm$";
    QTest::newRow("all answered, the count: rows say all") << QStringList() << count << QString();
    QTest::newRow("a stuck fan")
        << QStringList{"--fan-stuck", "2", "--speed", "50"} << count << "^korvexctl: watch: 4 samples, 0 lost, no gap, alarms: fan2 \\d+\\.\\d s \\(1 time\\)$";
    QTest::newRow("silent after two")
        << QStringList{"--silent-after", "2"} << count
        << "^korvexctl: watch: 2 samples, 2 lost, longest gap \\d+\\.\\d s \\(2 lost polls from \\d{4}-\\d\\d-\\d\\d [0-9:.]+\\), no alarm$";
}

void TestKorvexctlRack::theWatchEndsWithASummary()
{
    QFETCH(QStringList, simOptions);
    QFETCH(QStringList, watchOptions);
    QFETCH(QString, summary);
    SimProcess sim(simOptions);
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    if (simOptions.contains("--fan-stuck"))
        QTest::qWait(1500); // a stuck fan is alarmed once it has had time to spin up
    const CtlRun r(QStringList{"--port", sim.ptyPath(), "--retries", "0", "watch", "--interval", "100"} + watchOptions);
    QVERIFY2(r.exitCode == 0, r.describe());
    if (summary.isEmpty()) {
        QVERIFY2(r.err.isEmpty(), r.describe());
        return;
    }
    const QRegularExpression line(summary, QRegularExpression::MultilineOption);
    QVERIFY2(line.match(r.err).hasMatch(), r.describe());
}

QTEST_GUILESS_MAIN(TestKorvexctlRack)
#include "tst_korvexctl_rack.moc"
