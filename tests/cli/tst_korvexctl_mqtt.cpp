// korvexctl watch --mqtt: korvex-sim on a pty, a real mosquitto broker and a
// subscriber on the other side.

#include "CtlRun.h"
#include "MosquittoBroker.h"
#include "MqttSubscriber.h"
#include "SimProcess.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/types.h>

namespace {

QJsonObject json(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

QStringList lines(const QString &text)
{
    return text.split('\n', Qt::SkipEmptyParts);
}

QStringList fileLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

// The serial number the simulator reports, read once with korvexctl status --json.
QJsonObject statusOf(SimProcess &sim)
{
    const CtlRun r({"--port", sim.ptyPath(), "status", "--json"});
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

// A running `korvexctl watch`; its terminal lines go to a file so that a
// full pipe never holds it up.
class Watch
{
public:
    Watch(const QStringList &args, const QString &outFile)
    {
        process.setStandardOutputFile(outFile);
        process.start(CtlRun::program(), args);
        process.waitForStarted();
    }
    ~Watch()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    // Only to a running watch: a pid of 0 would signal the test's own group.
    void signal(int sig)
    {
        if (process.state() == QProcess::Running && process.processId() > 0)
            ::kill(pid_t(process.processId()), sig);
    }
    bool isRunning() const { return process.state() == QProcess::Running; }
    QByteArray describe()
    {
        return "watch exit " + QByteArray::number(process.exitCode()) + ": " + process.readAllStandardError();
    }
    QProcess process;
};

} // namespace

class TstKorvexctlMqtt : public QObject
{
    Q_OBJECT

private slots:
    void samplesOnlineAndFanAlarmReachTheBroker();
    void killedWatchLeavesItsLastWill();
    void lostDeviceIsAnnouncedOnce();
    void deviceAwayIsRetainedWhileOnlineStaysTrue();
    void brokerThatNeverTookASampleIsAFailure();
    void brokerRestartNeverStallsThePoll();
    void pollsThatFillTheIntervalStillPublishLive();
    void loginAndTls();
    void badOptionsAreUsageErrors();
};

void TstKorvexctlMqtt::samplesOnlineAndFanAlarmReachTheBroker()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    SimProcess sim({"--fan-stuck", "2"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    const QJsonObject before = statusOf(sim);
    const QString serial = before.value("serial_number").toString();
    QVERIFY(!serial.isEmpty());
    const QByteArray base = "korvex/" + serial.toUtf8() + "/";

    MqttSubscriber sub(broker.port(), "korvex/#");
    QVERIFY(sub.waitForConnected());
    QTemporaryDir dir;
    Watch watch({"--port", sim.ptyPath(), "watch", "--interval", "100", "--mqtt",
                 "127.0.0.1:" + QString::number(broker.port())},
                dir.filePath("out.txt"));
    // The stuck fan 2 slows down until its alarm comes on.
    QTRY_VERIFY_WITH_TIMEOUT(sub.payloads(base + "alarms").size() >= 2, 20000);
    const QList<QByteArray> alarms = sub.payloads(base + "alarms");
    QCOMPARE(json(alarms.at(0)).value("fan2").toBool(), false);
    QCOMPARE(json(alarms.at(1)).value("fan2").toBool(), true);
    QCOMPARE(json(alarms.at(1)).value("fan1").toBool(), false);

    // online is retained: a dashboard that comes now sees it, and the alarm state.
    MqttSubscriber late(broker.port(), "korvex/#");
    QVERIFY(late.waitForConnected());
    QTRY_COMPARE_WITH_TIMEOUT(late.on(base + "online").size(), 1, 5000);
    QVERIFY(late.on(base + "online").at(0).retained);
    QCOMPARE(late.on(base + "online").at(0).payload, QByteArray("true"));
    QTRY_COMPARE_WITH_TIMEOUT(late.on(base + "alarms").size(), 1, 5000);
    QVERIFY(late.on(base + "alarms").at(0).retained);
    QCOMPARE(json(late.on(base + "alarms").at(0).payload).value("fan2").toBool(), true);

    watch.signal(SIGINT);
    QVERIFY(watch.process.waitForFinished(10000));
    QCOMPARE(watch.process.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(sub.lastPayload(base + "online"), QByteArray("false"), 5000);

    // Each sample is status --json's object plus its time, with the device's values.
    const QList<QByteArray> status = sub.payloads(base + "status");
    QVERIFY(status.size() >= 10);
    QStringList expectedKeys = before.keys();
    expectedKeys.append("time");
    expectedKeys.sort();
    QDateTime previous;
    for (const QByteArray &p : status) {
        const QJsonObject s = json(p);
        QCOMPARE(s.keys(), expectedKeys);
        QCOMPARE(s.value("serial_number").toString(), serial);
        QCOMPARE(s.value("firmware").toString(), QString("1.5"));
        QCOMPARE(s.value("max_dac"), before.value("max_dac"));
        QCOMPARE(s.value("fan_rpm").toArray().at(0), before.value("fan_rpm").toArray().at(0));
        const QDateTime t = QDateTime::fromString(s.value("time").toString(), Qt::ISODateWithMs);
        QVERIFY(t.isValid());
        QVERIFY(!previous.isValid() || previous < t);
        previous = t;
    }
    QVERIFY(json(status.last()).value("fan_rpm").toArray().at(1).toInt()
            < json(status.first()).value("fan_rpm").toArray().at(1).toInt());
}

void TstKorvexctlMqtt::killedWatchLeavesItsLastWill()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    MqttSubscriber sub(broker.port(), "plant/#");
    QVERIFY(sub.waitForConnected());
    QTemporaryDir dir;
    Watch watch({"--port", sim.ptyPath(), "watch", "--interval", "100", "--mqtt",
                 "127.0.0.1:" + QString::number(broker.port()), "--mqtt-topic", "plant", "--mqtt-id", "L1"},
                dir.filePath("out.txt"));
    QTRY_VERIFY_WITH_TIMEOUT(sub.payloads("plant/L1/status").size() >= 3, 10000);
    QCOMPARE(sub.payloads("plant/L1/online"), QList<QByteArray>{"true"});
    watch.signal(SIGKILL);
    QVERIFY(watch.process.waitForFinished(5000));
    // The broker says it for the dead process.
    QTRY_COMPARE_WITH_TIMEOUT(sub.payloads("plant/L1/online"), (QList<QByteArray>{"true", "false"}), 10000);
    MqttSubscriber late(broker.port(), "plant/+/online");
    QVERIFY(late.waitForConnected());
    QTRY_COMPARE_WITH_TIMEOUT(late.payloads("plant/L1/online"), QList<QByteArray>{"false"}, 5000);
}

void TstKorvexctlMqtt::lostDeviceIsAnnouncedOnce()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    // The device answers 5 requests, then no more.
    SimProcess sim({"--silent-after", "5"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    MqttSubscriber sub(broker.port(), "korvex/#");
    QVERIFY(sub.waitForConnected());
    QTemporaryDir dir;
    Watch watch({"--port", sim.ptyPath(), "watch", "--interval", "100", "--mqtt",
                 "127.0.0.1:" + QString::number(broker.port()), "--mqtt-id", "D"},
                dir.filePath("out.txt"));
    // 3 exchanges per lost poll: more than 10 failed after the 4th.
    QTRY_VERIFY_WITH_TIMEOUT(sub.payloads("korvex/D/lost").size() == 1 || !watch.isRunning(), 15000);
    QVERIFY2(watch.isRunning(), watch.describe().constData());
    QCOMPARE(json(sub.payloads("korvex/D/lost").at(0)).value("lost").toBool(), true);
    QTest::qWait(1500); // more lost polls: no second message
    QCOMPARE(sub.payloads("korvex/D/lost").size(), 1);
    // The lost polls went out on status too, as {"time", "lost": true}.
    int lostSamples = 0;
    for (const QByteArray &p : sub.payloads("korvex/D/status"))
        lostSamples += json(p).value("lost").toBool() ? 1 : 0;
    QVERIFY(lostSamples >= 4);
    watch.signal(SIGINT);
    QVERIFY(watch.process.waitForFinished(10000));
}

void TstKorvexctlMqtt::deviceAwayIsRetainedWhileOnlineStaysTrue()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    QTemporaryDir dir;
    const QString link = dir.filePath("laser");
    auto sim = std::make_unique<SimProcess>(QStringList{"--link", link});
    QVERIFY2(sim->isRunning(), qPrintable(sim->errorText()));
    const QString serial = statusOf(*sim).value("serial_number").toString();
    QVERIFY(!serial.isEmpty());
    const QByteArray base = "korvex/" + serial.toUtf8() + "/";
    MqttSubscriber sub(broker.port(), "korvex/#");
    QVERIFY(sub.waitForConnected());
    Watch watch({"--port", link, "watch", "--interval", "100", "--mqtt", "127.0.0.1:" + QString::number(broker.port())},
                dir.filePath("out.txt"));
    QTRY_VERIFY_WITH_TIMEOUT(sub.payloads(base + "status").size() >= 3, 10000);
    sim.reset(); // the device goes away with its port
    QTRY_VERIFY_WITH_TIMEOUT(sub.payloads(base + "lost").size() == 1, 15000);
    QVERIFY2(watch.isRunning(), watch.describe().constData());

    // A dashboard that starts now: the station is online, the device lost.
    MqttSubscriber late(broker.port(), "korvex/#");
    QVERIFY(late.waitForConnected());
    QTRY_VERIFY_WITH_TIMEOUT(late.on(base + "lost").size() == 1 && late.on(base + "online").size() == 1, 5000);
    QVERIFY(late.on(base + "lost").at(0).retained);
    QCOMPARE(json(late.on(base + "lost").at(0).payload).value("lost").toBool(), true);
    QCOMPARE(late.on(base + "online").at(0).payload, QByteArray("true"));

    sim = std::make_unique<SimProcess>(QStringList{"--link", link});
    QVERIFY2(sim->isRunning(), qPrintable(sim->errorText()));
    QTRY_COMPARE_WITH_TIMEOUT(sub.payloads(base + "lost").size(), 2, 15000);
    QCOMPARE(json(sub.payloads(base + "lost").at(1)).value("lost").toBool(), false);
    QCOMPARE(sub.payloads(base + "online"), QList<QByteArray>{"true"});
    watch.signal(SIGINT);
    QVERIFY(watch.process.waitForFinished(10000));
    QCOMPARE(watch.process.exitCode(), 0);
    // The one ID of the run, and nothing else.
    for (const MqttSubscriber::Message &m : sub.messages())
        QVERIFY2(m.topic.startsWith(base), m.topic.constData());
}

void TstKorvexctlMqtt::brokerThatNeverTookASampleIsAFailure()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    // Nobody listens there: the watch runs, but nothing reaches a broker.
    const CtlRun r({"--port", sim.ptyPath(), "watch", "--count", "3", "--interval", "100", "--mqtt",
                    "127.0.0.1:" + QString::number(MosquittoBroker::freePort())});
    QVERIFY2(r.exitCode == 6, r.describe());
    QVERIFY2(r.err.contains("not one sample was delivered"), r.describe());
    QCOMPARE(lines(r.out).size(), 3);
}

void TstKorvexctlMqtt::brokerRestartNeverStallsThePoll()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    // A named session: what is published while it reconnects still reaches it.
    MqttSubscriber sub(broker.port(), "korvex/#", "restart-dashboard");
    QVERIFY(sub.waitForConnected());
    QTemporaryDir dir;
    const QString csv = dir.filePath("samples.csv");
    Watch watch({"--port", sim.ptyPath(), "watch", "--interval", "100", "--csv", csv, "--mqtt",
                 "127.0.0.1:" + QString::number(broker.port()), "--mqtt-id", "R"},
                dir.filePath("out.txt"));
    QTRY_VERIFY_WITH_TIMEOUT(sub.payloads("korvex/R/status").size() >= 5, 10000);
    broker.stop();
    const int rowsAtStop = fileLines(csv).size();
    QTest::qWait(4000);
    const int rowsWhileAway = fileLines(csv).size() - rowsAtStop;
    QVERIFY2(rowsWhileAway >= 25, qPrintable(QString::number(rowsWhileAway))); // 40 at 100 ms
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    QTest::qWait(1000);
    // Up to 8 s of back-off after a 4 s outage, then the queue goes out.
    QTRY_VERIFY_WITH_TIMEOUT(sub.isConnected(), 10000);
    QTest::qWait(9000);
    watch.signal(SIGINT);
    QVERIFY(watch.process.waitForFinished(15000));
    QCOMPARE(watch.process.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(sub.lastPayload("korvex/R/online"), QByteArray("false"), 5000);

    // Every CSV row reached the broker once, in order.
    const QStringList rows = fileLines(csv).mid(1);
    QStringList csvTimes;
    for (const QString &row : rows)
        csvTimes.append(row.section(',', 0, 0));
    // (A message the broker itself sends the subscriber again after its
    // restart is the subscriber's session, not a second publication.)
    QStringList mqttTimes;
    for (const QByteArray &p : sub.payloadsOnce("korvex/R/status"))
        mqttTimes.append(json(p).value("time").toString());
    QCOMPARE(mqttTimes.size(), csvTimes.size());
    QCOMPARE(mqttTimes, csvTimes);
    // The poll never stalled: no gap between rows much beyond the interval.
    qint64 worst = 0;
    for (int i = 1; i < csvTimes.size(); ++i) {
        const qint64 gap = QDateTime::fromString(csvTimes.at(i - 1), Qt::ISODateWithMs)
                               .msecsTo(QDateTime::fromString(csvTimes.at(i), Qt::ISODateWithMs));
        worst = qMax(worst, gap);
    }
    QVERIFY2(worst < 1000, qPrintable(QString("largest gap between polls: %1 ms").arg(worst)));
    const QString err = QString::fromUtf8(watch.process.readAllStandardError());
    QVERIFY2(err.contains("lost") && err.contains("connected"), qPrintable(err));
}

void TstKorvexctlMqtt::pollsThatFillTheIntervalStillPublishLive()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    // Replies take longer than the interval: the watch never waits between polls.
    SimProcess sim({"--delay", "60"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    MqttSubscriber sub(broker.port(), "korvex/#");
    QVERIFY(sub.waitForConnected());
    QTemporaryDir dir;
    const QString csv = dir.filePath("samples.csv");
    Watch watch({"--port", sim.ptyPath(), "watch", "--interval", "50", "--csv", csv, "--mqtt",
                 "127.0.0.1:" + QString::number(broker.port()), "--mqtt-id", "F"},
                dir.filePath("out.txt"));
    // More samples than the publisher keeps unacknowledged (100).
    QTRY_VERIFY_WITH_TIMEOUT(fileLines(csv).size() > 160, 30000);
    // While it runs, the broker has nearly all of them, not a trickle.
    const int rows = fileLines(csv).size() - 1;
    const int published = sub.payloads("korvex/F/status").size();
    QVERIFY2(published >= rows - 20, qPrintable(QString("%1 rows, %2 published").arg(rows).arg(published)));
    watch.signal(SIGINT);
    QVERIFY(watch.process.waitForFinished(10000));
}

void TstKorvexctlMqtt::loginAndTls()
{
    MosquittoBroker broker;
    broker.setLogin("station", "Right-Secret-1");
    QVERIFY2(broker.enableTls(), qPrintable(broker.errorText()));
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    QTemporaryDir dir;
    auto writeFile = [&](const QString &name, const QByteArray &text) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(text);
        return f.fileName();
    };
    const QString wrong = writeFile("wrong", "Wrong-Secret-2\n");
    const QString right = writeFile("right", "Right-Secret-1\n");
    const QString where = "localhost:" + QString::number(broker.port());

    const CtlRun refused({"--port", sim.ptyPath(), "watch", "--count", "3", "--mqtt", where, "--mqtt-tls-ca",
                          broker.caFile(), "--mqtt-user", "station", "--mqtt-password-file", wrong});
    QVERIFY2(refused.exitCode == 6, refused.describe());
    QVERIFY2(refused.err.contains("refused the login"), refused.describe());
    QVERIFY(refused.out.isEmpty()); // not one poll
    QVERIFY(!refused.err.contains("Secret") && !refused.out.contains("Secret"));

    const CtlRun badCa({"--port", sim.ptyPath(), "watch", "--count", "3", "--mqtt", where, "--mqtt-tls-ca",
                        broker.otherCaFile(), "--mqtt-user", "station", "--mqtt-password-file", right});
    QVERIFY2(badCa.exitCode == 6, badCa.describe());
    QVERIFY2(badCa.err.contains("TLS"), badCa.describe());

    // A plain client at the TLS port: the broker is there, but not for it.
    const CtlRun plain({"--port", sim.ptyPath(), "watch", "--count", "3", "--mqtt", where, "--mqtt-user", "station",
                        "--mqtt-password-file", right});
    QVERIFY2(plain.exitCode == 6, plain.describe());
    QVERIFY2(plain.err.contains("did not speak MQTT (probably TLS"), plain.describe());
    QVERIFY2(!plain.err.contains("not reachable"), plain.describe());

    MqttSubscriber anonymous(broker.port(), "korvex/#", QByteArray(), QFile::encodeName(broker.caFile()));
    const CtlRun ok({"--port", sim.ptyPath(), "watch", "--count", "3", "--interval", "100", "--mqtt", where,
                     "--mqtt-tls-ca", broker.caFile(), "--mqtt-user", "station", "--mqtt-password-file", right,
                     "--mqtt-id", "S", "--mqtt-qos", "0"});
    QVERIFY2(ok.exitCode == 0, ok.describe());
    QVERIFY2(ok.err.isEmpty(), ok.describe());
    QVERIFY(!anonymous.isConnected()); // the broker wants a login: the test's own client is refused
    // Retained: a logged-in dashboard sees the clean end.
    QProcess sub;
    sub.start("mosquitto_sub", {"-h", "localhost", "-p", QString::number(broker.port()), "--cafile", broker.caFile(),
                                "-u", "station", "-P", "Right-Secret-1", "-t", "korvex/S/online", "-C", "1", "-W", "5"});
    QVERIFY(sub.waitForFinished(10000));
    QCOMPARE(sub.readAllStandardOutput().trimmed(), QByteArray("false"));
}

void TstKorvexctlMqtt::badOptionsAreUsageErrors()
{
    const CtlRun orphan({"--port", "/dev/null", "watch", "--mqtt-topic", "x"});
    QVERIFY2(orphan.exitCode == 2, orphan.describe());
    const CtlRun qos({"--port", "/dev/null", "watch", "--mqtt", "localhost", "--mqtt-qos", "2"});
    QVERIFY2(qos.exitCode == 2, qos.describe());
    const CtlRun noFile({"--port", "/dev/null", "watch", "--mqtt", "localhost", "--mqtt-user", "u",
                         "--mqtt-password-file", "/nonexistent/pw"});
    QVERIFY2(noFile.exitCode == 2 && noFile.err.contains("/nonexistent/pw"), noFile.describe());
    // A CA file that holds no certificate, named in the message.
    QTemporaryDir dir;
    QFile notPem(dir.filePath("ca.txt"));
    QVERIFY(notPem.open(QIODevice::WriteOnly));
    notPem.write("not a certificate\n");
    notPem.close();
    const CtlRun noCert({"--port", "/dev/null", "watch", "--mqtt", "localhost", "--mqtt-tls-ca", notPem.fileName()});
    QVERIFY2(noCert.exitCode == 2 && noCert.err.contains(notPem.fileName()), noCert.describe());
}

QTEST_GUILESS_MAIN(TstKorvexctlMqtt)
#include "tst_korvexctl_mqtt.moc"
