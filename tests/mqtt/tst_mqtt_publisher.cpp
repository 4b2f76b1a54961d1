// The MQTT publisher against a real mosquitto broker, and its options and
// queue on their own.

#include "ClosingListener.h"
#include "MosquittoBroker.h"
#include "MqttOptions.h"
#include "MqttPublisher.h"
#include "MqttSubscriber.h"
#include "MqttWatchOutput.h"
#include "SampleQueue.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QJsonObject sample(int n, bool fanAlarm = false, const QString &serial = QStringLiteral("66051-202407090042"))
{
    return QJsonObject{{"time", QStringLiteral("2026-12-07T15:00:%1.000Z").arg(n % 60, 2, 10, QLatin1Char('0'))},
                       {"seq", n},
                       {"serial_number", serial},
                       {"alarms", QJsonObject{{"temperature", false}, {"fan1", fanAlarm}, {"fan2", false}, {"fan3", false}}},
                       {"power", 500}};
}

int seqOf(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object().value("seq").toInt(-1);
}

MqttOptions optionsFor(const MosquittoBroker &broker)
{
    MqttOptions o;
    o.host = QStringLiteral("127.0.0.1");
    o.port = broker.port();
    return o;
}

} // namespace

class TstMqttPublisher : public QObject
{
    Q_OBJECT

private slots:
    void optionsAreCheckedAndThePasswordComesFromItsFile();
    void queueKeepsTheNewestAndTheRetained();
    void samplesAlarmsAndOnlineReachTheBroker();
    void oneStationIdForTheWholeRun();
    void everyBrokerFailureIsRetried_data();
    void everyBrokerFailureIsRetried();
    void watchOutputFollowsTheLinkLamp();
    void brokerRestartLosesNothingAndKeepsOrder();
    void unreachableBrokerKeepsTheNewestSamples();
    void loginIsCheckedAtStart();
    void laterRefusalIsAWarningAndRetried();
    void tlsChecksTheBrokersCertificate();
};

void TstMqttPublisher::optionsAreCheckedAndThePasswordComesFromItsFile()
{
    QString error;
    MqttOptions o;
    QVERIFY(o.set("--mqtt", "broker.local:1884", &error));
    QCOMPARE(o.host, QString("broker.local"));
    QCOMPARE(o.effectivePort(), 1884);
    QVERIFY(o.set("--mqtt", "[::1]", &error));
    QCOMPARE(o.host, QString("::1"));
    QCOMPARE(o.effectivePort(), 1883);
    QVERIFY(!o.set("--mqtt", "host:99999", &error));
    QVERIFY(error.contains("99999"));
    QVERIFY(!o.set("--mqtt-qos", "2", &error));
    QVERIFY(!o.set("--mqtt-topic", "plant/#", &error));
    QVERIFY(!o.set("--mqtt-id", "a/b", &error));
    QVERIFY(o.set("--mqtt-topic", "plant/line3/", &error));
    QCOMPARE(o.topicPrefix, QString("plant/line3"));
    QCOMPARE(MqttOptions::topicLevel("host/tty+#"), QString("host_tty__"));

    MqttOptions orphan;
    QVERIFY(orphan.set("--mqtt-user", "u", &error));
    QVERIFY(!orphan.finish(&error));
    QVERIFY(error.contains("--mqtt HOST"));

    QTemporaryDir dir;
    QFile f(dir.filePath("pw"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("p4ss word\r\nsecond line\n");
    f.close();
    MqttOptions login;
    QVERIFY(login.set("--mqtt", "localhost", &error));
    QVERIFY(login.set("--mqtt-password-file", f.fileName(), &error));
    QVERIFY(!login.finish(&error)); // a password without a user
    QVERIFY(login.set("--mqtt-user", "station", &error));
    QVERIFY2(login.finish(&error), qPrintable(error));
    QCOMPARE(login.password, QString("p4ss word"));
    QVERIFY(login.set("--mqtt-password-file", dir.filePath("missing"), &error));
    QVERIFY(!login.finish(&error));
    QVERIFY(error.contains("missing"));
    // A CA file must hold a certificate: the password file does not.
    QVERIFY(login.set("--mqtt-tls-ca", f.fileName(), &error));
    login.passwordFile = f.fileName();
    QVERIFY(!login.finish(&error));
    QVERIFY2(error.contains(f.fileName()) && error.contains("no certificate"), qPrintable(error));
    QFile ca(dir.filePath("ca.pem"));
    QVERIFY(ca.open(QIODevice::WriteOnly));
    ca.write("-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n");
    ca.close();
    QVERIFY(login.set("--mqtt-tls-ca", ca.fileName(), &error));
    QVERIFY(login.finish(&error));
    QCOMPARE(login.effectivePort(), 8883);
}

void TstMqttPublisher::queueKeepsTheNewestAndTheRetained()
{
    SampleQueue q(3);
    QVERIFY(q.push({"s", "1", false}));
    QVERIFY(q.push({"a", "A", true}));
    QVERIFY(q.push({"s", "2", false}));
    QVERIFY(!q.push({"s", "3", false})); // "1" makes room
    QVERIFY(!q.push({"s", "4", false})); // "2" makes room, the retained stays
    QCOMPARE(q.droppedCount(), qint64(2));
    QCOMPARE(q.takeFirst().payload, QByteArray("A"));
    QCOMPARE(q.takeFirst().payload, QByteArray("3"));
    q.pushFront({"s", "3", false});
    QCOMPARE(q.size(), 2);
    q.setCapacity(1);
    QCOMPARE(q.takeFirst().payload, QByteArray("4"));
    QVERIFY(q.isEmpty());
}

void TstMqttPublisher::samplesAlarmsAndOnlineReachTheBroker()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    MqttSubscriber sub(broker.port(), "plant/#");
    QVERIFY(sub.waitForConnected());

    MqttOptions o = optionsFor(broker);
    o.topicPrefix = "plant";
    o.id = "L7";
    MqttPublisher pub(o);
    QString error;
    QCOMPARE(pub.start(5000, &error), MqttPublisher::Started);
    QVERIFY(pub.isConnected());
    for (int i = 0; i < 5; ++i)
        pub.publishSample(sample(i, i >= 3));
    pub.publishLostSample(QJsonObject{{"time", "t"}, {"lost", true}});
    pub.setLinkLost(true, "t1");
    pub.setLinkLost(true, "t2"); // no change, no message
    pub.setLinkLost(false, "t3");
    QTRY_COMPARE_WITH_TIMEOUT(sub.payloads("plant/L7/status").size(), 6, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(sub.payloads("plant/L7/lost").size(), 2, 5000);

    const QList<QByteArray> status = sub.payloads("plant/L7/status");
    for (int i = 0; i < 5; ++i)
        QCOMPARE(seqOf(status.at(i)), i);
    QCOMPARE(QJsonDocument::fromJson(status.at(5)).object().value("lost").toBool(), true);
    // Alarms: once with the first sample, once when fan 1 went off.
    const QList<QByteArray> alarms = sub.payloads("plant/L7/alarms");
    QCOMPARE(alarms.size(), 2);
    QCOMPARE(QJsonDocument::fromJson(alarms.at(0)).object().value("fan1").toBool(), false);
    QCOMPARE(QJsonDocument::fromJson(alarms.at(1)).object().value("fan1").toBool(), true);
    QCOMPARE(QJsonDocument::fromJson(alarms.at(1)).object().value("time").toString(), sample(3)["time"].toString());
    QCOMPARE(QJsonDocument::fromJson(sub.payloads("plant/L7/lost").at(0)).object().value("lost").toBool(), true);
    QCOMPARE(QJsonDocument::fromJson(sub.payloads("plant/L7/lost").at(1)).object().value("time").toString(),
             QString("t3"));

    // A dashboard that comes later sees online and the alarm state at once.
    MqttSubscriber late(broker.port(), "plant/#");
    QVERIFY(late.waitForConnected());
    QTRY_COMPARE_WITH_TIMEOUT(late.on("plant/L7/online").size(), 1, 5000);
    QVERIFY(late.on("plant/L7/online").at(0).retained);
    QCOMPARE(late.on("plant/L7/online").at(0).payload, QByteArray("true"));
    QTRY_COMPARE_WITH_TIMEOUT(late.on("plant/L7/alarms").size(), 1, 5000);
    QVERIFY(late.on("plant/L7/alarms").at(0).retained);
    QVERIFY(late.on("plant/L7/status").isEmpty());

    // A clean end says false, retained.
    QCOMPARE(pub.finish(5000), 0);
    QTRY_COMPARE_WITH_TIMEOUT(sub.lastPayload("plant/L7/online"), QByteArray("false"), 5000);
    MqttSubscriber after(broker.port(), "plant/+/online");
    QVERIFY(after.waitForConnected());
    QTRY_COMPARE_WITH_TIMEOUT(after.payloads("plant/L7/online"), QList<QByteArray>{"false"}, 5000);
}

void TstMqttPublisher::oneStationIdForTheWholeRun()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    MqttSubscriber sub(broker.port(), "korvex/#");
    QVERIFY(sub.waitForConnected());

    MqttPublisher pub(optionsFor(broker));
    QString error;
    QCOMPARE(pub.start(5000, &error), MqttPublisher::Started);
    QVERIFY(pub.id().isEmpty());
    // Before the first status: the device is lost; it waits for the ID.
    pub.setLinkLost(true, "t0");
    pub.publishLostSample(QJsonObject{{"time", "t0"}, {"lost", true}});
    QTest::qWait(500);
    QCOMPARE(sub.messages().size(), 0);

    pub.setLinkLost(false, "t1");
    for (int i = 0; i < 3; ++i)
        pub.publishSample(sample(i));
    QCOMPARE(pub.id(), QString("66051-202407090042"));
    QCOMPARE(pub.clientId(), QString("korvexctl-66051-202407090042"));
    const QByteArray base = "korvex/66051-202407090042/";
    // The lost sample from before the ID was known, then the three.
    QTRY_COMPARE_WITH_TIMEOUT(sub.payloads(base + "status").size(), 4, 10000);
    QCOMPARE(QJsonDocument::fromJson(sub.payloads(base + "status").first()).object().value("lost").toBool(), true);
    QTRY_COMPARE_WITH_TIMEOUT(sub.payloads(base + "lost").size(), 2, 5000);
    QCOMPARE(QJsonDocument::fromJson(sub.payloads(base + "lost").at(0)).object().value("lost").toBool(), true);
    // Later serial numbers (a garbled reply) do not move it again.
    pub.publishSample(sample(3, false, "1-2"));
    QCOMPARE(pub.id(), QString("66051-202407090042"));
    QCOMPARE(pub.finish(5000), 0);
    // Every message of the run went to the one ID.
    for (const MqttSubscriber::Message &m : sub.messages())
        QVERIFY2(m.topic.startsWith(base), m.topic.constData());

    MqttOptions named = optionsFor(broker);
    named.id = "L9";
    named.clientId = "line-9-station";
    QCOMPARE(MqttPublisher(named).clientId(), QString("line-9-station"));
}

// A TLS broker replaced for a while by something unusable, then restored:
// the samples published meanwhile all arrive, once each, in order.
void TstMqttPublisher::everyBrokerFailureIsRetried_data()
{
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<bool>("tls");
    QTest::addColumn<QString>("said"); // what the warning says is wrong
    QTest::newRow("TLS, accept-and-close") << "close" << true << "TLS failed";
    QTest::newRow("TLS, another CA's certificate") << "other-ca" << true << "TLS failed";
    QTest::newRow("plain, a peer that answers no MQTT") << "nonsense" << false << "did not speak MQTT";
}

void TstMqttPublisher::everyBrokerFailureIsRetried()
{
    QFETCH(QString, replacement);
    QFETCH(bool, tls);
    QFETCH(QString, said);
    MosquittoBroker broker;
    QVERIFY2(!tls || broker.enableTls(), qPrintable(broker.errorText()));
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    // The dashboard on the broker's plain listener, which stays as it is.
    MqttSubscriber sub(tls ? broker.plainPort() : broker.port(), "korvex/#", "tls-watcher");
    QVERIFY(sub.waitForConnected());
    MqttOptions o;
    o.host = "localhost";
    o.port = broker.port();
    o.id = "TR";
    if (tls)
        o.tlsCaFile = broker.caFile();
    MqttPublisher pub(o);
    pub.setQueueCapacity(2000);
    QSignalSpy warnings(&pub, &MqttPublisher::warning);
    QString error;
    QCOMPARE(pub.start(5000, &error), MqttPublisher::Started);

    int n = 0;
    auto publishFor = [&](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            pub.publishSample(sample(n++));
            QTest::qWait(100);
        }
    };
    publishFor(1000);
    broker.stop();
    {
        std::unique_ptr<ClosingListener> closing;
        if (replacement != "other-ca") {
            closing = std::make_unique<ClosingListener>(
                broker.port(), replacement == "nonsense" ? QByteArray("HTTP/1.0 400 Bad Request\r\n\r\n") : QByteArray());
            QVERIFY(closing->isListening());
        } else {
            broker.setOtherCertificate(true);
            QVERIFY2(broker.start(), qPrintable(broker.errorText()));
        }
        publishFor(15000);
        QVERIFY(!pub.isConnected());
        QVERIFY(!closing || closing->accepted() >= 2); // it was tried more than once
        broker.stop();
    }
    broker.setOtherCertificate(false);
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    // The back-off after 15 s of failures: up to 16 s more.
    QElapsedTimer back;
    back.start();
    while (!pub.isConnected() && back.elapsed() < 40000)
        publishFor(200);
    QVERIFY(pub.isConnected());
    publishFor(500);
    QTRY_COMPARE_WITH_TIMEOUT(sub.payloadsOnce("korvex/TR/status").size() >= n, true, 20000);

    QList<int> seqs;
    for (const QByteArray &p : sub.payloadsOnce("korvex/TR/status"))
        seqs.append(seqOf(p));
    QList<int> expected;
    for (int i = 0; i < n; ++i)
        expected.append(i);
    QCOMPARE(seqs, expected); // all, in order, none twice
    QCOMPARE(pub.droppedCount(), qint64(0));
    QStringList lines;
    for (const QList<QVariant> &w : warnings)
        lines.append(w.at(0).toString());
    // One line per change of what is wrong, not one per retry.
    QVERIFY2(lines.size() <= 4, qPrintable(lines.join('\n')));
    QVERIFY2(lines.filter(said).size() == 1, qPrintable(lines.join('\n')));
    QVERIFY2(lines.last().contains("connected"), qPrintable(lines.join('\n')));
}

void TstMqttPublisher::watchOutputFollowsTheLinkLamp()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    MqttSubscriber sub(broker.port(), "korvex/#");
    QVERIFY(sub.waitForConnected());
    MqttOptions o = optionsFor(broker);
    o.id = "K";
    auto publisher = std::make_unique<MqttPublisher>(o);
    QString error;
    QCOMPARE(publisher->start(5000, &error), MqttPublisher::Started);
    quint32 failures = 0;
    MqttWatchOutput output(std::move(publisher), [&failures] { return failures; });
    const QDateTime t0 = QDateTime::fromString("2026-12-07T15:00:00.000Z", Qt::ISODateWithMs);
    DevStatusCache cache;
    QVERIFY(output.sample(t0, cache));
    // The lamp turns red after more than 10 failed exchanges in a row.
    for (quint32 f : {3u, 6u, 9u, 10u}) {
        failures = f;
        QVERIFY(output.lost(t0.addSecs(f)));
    }
    failures = 11;
    QVERIFY(output.lost(t0.addSecs(11)));
    failures = 14;
    QVERIFY(output.lost(t0.addSecs(14)));
    failures = 0;
    QVERIFY(output.sample(t0.addSecs(20), cache));
    QVERIFY(output.sample(t0.addSecs(21), cache));
    output.finish();
    QTRY_COMPARE_WITH_TIMEOUT(sub.lastPayload("korvex/K/online"), QByteArray("false"), 5000);
    const QList<QByteArray> lost = sub.payloads("korvex/K/lost");
    QCOMPARE(lost.size(), 2);
    QCOMPARE(QJsonDocument::fromJson(lost.at(0)).object().value("lost").toBool(), true);
    QCOMPARE(QJsonDocument::fromJson(lost.at(0)).object().value("time").toString(),
             QString("2026-12-07T15:00:11.000Z"));
    QCOMPARE(QJsonDocument::fromJson(lost.at(1)).object().value("lost").toBool(), false);
    QCOMPARE(QJsonDocument::fromJson(lost.at(1)).object().value("time").toString(),
             QString("2026-12-07T15:00:20.000Z"));
    // Every poll went out on status: 3 samples and 6 lost ones, in order.
    const QList<QByteArray> status = sub.payloads("korvex/K/status");
    QCOMPARE(status.size(), 9);
    QCOMPARE(QJsonDocument::fromJson(status.at(1)).object().value("lost").toBool(), true);
    QVERIFY(QJsonDocument::fromJson(status.at(7)).object().contains("firmware"));
}

void TstMqttPublisher::brokerRestartLosesNothingAndKeepsOrder()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    MqttSubscriber sub(broker.port(), "korvex/#", "restart-watcher");
    QVERIFY(sub.waitForConnected());

    MqttOptions o = optionsFor(broker);
    o.id = "R1";
    MqttPublisher pub(o);
    QSignalSpy warnings(&pub, &MqttPublisher::warning);
    QString error;
    QCOMPARE(pub.start(5000, &error), MqttPublisher::Started);

    // A sample every 50 ms throughout; the broker is away for 3 s in the middle.
    int n = 0;
    QElapsedTimer clock;
    clock.start();
    auto publishFor = [&](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            pub.publishSample(sample(n++));
            QTest::qWait(50);
        }
    };
    publishFor(1000);
    broker.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!pub.isConnected(), 5000);
    QElapsedTimer gap;
    gap.start();
    publishFor(3000);
    QVERIFY(pub.queuedCount() > 0);
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    publishFor(500);
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 40000);
    publishFor(500);
    QTRY_COMPARE_WITH_TIMEOUT(sub.payloads("korvex/R1/status").size() >= n, true, 20000);

    QList<int> seqs;
    for (const QByteArray &p : sub.payloadsOnce("korvex/R1/status"))
        seqs.append(seqOf(p));
    QList<int> expected;
    for (int i = 0; i < n; ++i)
        expected.append(i);
    QCOMPARE(seqs, expected); // all, in order, none twice
    QCOMPARE(pub.droppedCount(), qint64(0));
    bool lostSaid = false, backSaid = false;
    for (const QList<QVariant> &w : warnings) {
        lostSaid |= w.at(0).toString().contains("lost");
        backSaid |= w.at(0).toString().contains("connected");
    }
    QVERIFY(lostSaid);
    QVERIFY(backSaid);
    QTRY_COMPARE_WITH_TIMEOUT(sub.lastPayload("korvex/R1/online"), QByteArray("true"), 5000);
}

void TstMqttPublisher::unreachableBrokerKeepsTheNewestSamples()
{
    MosquittoBroker broker; // not started yet
    MqttOptions o = optionsFor(broker);
    o.id = "Q";
    MqttPublisher pub(o);
    pub.setQueueCapacity(5);
    QSignalSpy warnings(&pub, &MqttPublisher::warning);
    QString error;
    QElapsedTimer t;
    t.start();
    QCOMPARE(pub.start(3000, &error), MqttPublisher::Started);
    QVERIFY(t.elapsed() < 4000);
    QVERIFY(!pub.isConnected());
    for (int i = 0; i < 20; ++i)
        pub.publishSample(sample(i, i >= 1)); // the two alarm states (retained) are kept
    QCOMPARE(pub.queuedCount(), 5);
    int dropWarnings = 0;
    for (const QList<QVariant> &w : warnings)
        dropWarnings += w.at(0).toString().contains("dropping") ? 1 : 0;
    QCOMPARE(dropWarnings, 1);

    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    MqttSubscriber sub(broker.port(), "korvex/#");
    QVERIFY(sub.waitForConnected());
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 40000);
    QTRY_COMPARE_WITH_TIMEOUT(sub.payloads("korvex/Q/status").size(), 3, 10000);
    QList<int> seqs;
    for (const QByteArray &p : sub.payloads("korvex/Q/status"))
        seqs.append(seqOf(p));
    QCOMPARE(seqs, (QList<int>{17, 18, 19}));
    QTRY_COMPARE_WITH_TIMEOUT(sub.payloads("korvex/Q/alarms").size(), 2, 5000);
    QCOMPARE(QJsonDocument::fromJson(sub.payloads("korvex/Q/alarms").last()).object().value("fan1").toBool(), true);
    // The gap is published, retained: 22 messages went into a queue of 5.
    QCOMPARE(pub.droppedCount(), qint64(17));
    MqttSubscriber late(broker.port(), "korvex/Q/dropped");
    QTRY_COMPARE_WITH_TIMEOUT(late.payloads("korvex/Q/dropped"), QList<QByteArray>{"17"}, 5000);
}

void TstMqttPublisher::loginIsCheckedAtStart()
{
    MosquittoBroker broker;
    broker.setLogin("station", "right-secret");
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));

    MqttOptions o = optionsFor(broker);
    o.id = "P";
    o.user = "station";
    o.passwordFile = "x";
    o.password = "wrong-secret";
    {
        MqttPublisher pub(o);
        QString error;
        QCOMPARE(pub.start(5000, &error), MqttPublisher::Refused);
        QVERIFY2(error.contains("refused the login"), qPrintable(error));
        QVERIFY(!error.contains("secret"));
    }
    MqttSubscriber sub(broker.port(), "korvex/#"); // anonymous: refused, sees nothing
    o.password = "right-secret";
    MqttPublisher pub(o);
    QString error;
    QCOMPARE(pub.start(5000, &error), MqttPublisher::Started);
    QVERIFY(pub.isConnected());
    pub.publishSample(sample(1));
    QTRY_COMPARE_WITH_TIMEOUT(pub.deliveredCount() >= 3, true, 5000); // online, status, alarms
    QCOMPARE(sub.isConnected(), false);
}

void TstMqttPublisher::laterRefusalIsAWarningAndRetried()
{
    MosquittoBroker broker;
    broker.setLogin("station", "first");
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    MqttOptions o = optionsFor(broker);
    o.id = "W";
    o.user = "station";
    o.passwordFile = "x";
    o.password = "first";
    MqttPublisher pub(o);
    QSignalSpy warnings(&pub, &MqttPublisher::warning);
    QString error;
    QCOMPARE(pub.start(5000, &error), MqttPublisher::Started);

    // The broker comes back with another password: a warning, and retries.
    broker.stop();
    broker.setLogin("station", "second");
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    auto said = [&](const char *text) {
        for (const QList<QVariant> &w : warnings)
            if (w.at(0).toString().contains(text))
                return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(said("refused the login"), 20000);
    for (int i = 0; i < 3; ++i)
        pub.publishSample(sample(i));
    QVERIFY(!pub.isConnected());
    QCOMPARE(pub.queuedCount(), 4); // three samples and the first alarm state

    // Its password back: the retries get through and the queue goes out.
    broker.stop();
    broker.setLogin("station", "first");
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 40000);
    QTRY_COMPARE_WITH_TIMEOUT(pub.queuedCount(), 0, 5000);
}

void TstMqttPublisher::tlsChecksTheBrokersCertificate()
{
    MosquittoBroker broker;
    QVERIFY2(broker.enableTls(), qPrintable(broker.errorText()));
    QVERIFY2(broker.start(), qPrintable(broker.errorText()));
    MqttSubscriber sub(broker.port(), "korvex/#", QByteArray(), QFile::encodeName(broker.caFile()));
    QVERIFY(sub.waitForConnected());

    MqttOptions o;
    o.host = "localhost";
    o.port = broker.port();
    o.id = "T";
    o.tlsCaFile = broker.otherCaFile();
    {
        MqttPublisher pub(o);
        QString error;
        const MqttPublisher::StartResult result = pub.start(5000, &error);
        QVERIFY2(result == MqttPublisher::Refused, qPrintable(error));
        QVERIFY2(error.contains("TLS"), qPrintable(error));
    }
    o.tlsCaFile = broker.caFile();
    MqttPublisher pub(o);
    QString error;
    QCOMPARE(pub.start(5000, &error), MqttPublisher::Started);
    pub.publishSample(sample(7));
    QTRY_COMPARE_WITH_TIMEOUT(sub.payloads("korvex/T/status").size(), 1, 5000);
    QCOMPARE(seqOf(sub.payloads("korvex/T/status").at(0)), 7);
}

QTEST_GUILESS_MAIN(TstMqttPublisher)
#include "tst_mqtt_publisher.moc"
