// The metrics text of watched units, from the status schema: names, units,
// labels, escaping, and what a lost or never-seen unit shows.

#include "MetricsExposition.h"
#include "MetricsServer.h"
#include "StatusSchema.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

UnitMetrics answeredUnit(const QString &port)
{
    UnitMetrics u;
    u.port = port;
    u.seen = true;
    u.up = true;
    u.polls = 12;
    u.lostPolls = 2;
    u.lastSampleTime = QDateTime::fromMSecsSinceEpoch(Q_INT64_C(1765272960123), Qt::UTC);
    DevStatusCache &c = u.last;
    c.fwMajor = 2;
    c.fwMinor = 7;
    c.ldStatBits = 0x01;
    c.alarmBits = 0x04; // fan 2
    c.powerPercent = 523;
    c.tempThreshold = 455;
    c.devRxFrames = 4000000000u;
    c.serialNum = QByteArray::fromHex("010203180709002A");
    c.runSeconds = 7200;
    c.compensationHours = 3;
    c.fanSpeed1 = 3000;
    c.fanSpeed2 = 0;
    c.fanSpeed3 = 3200;
    c.ldCurrent = 1234;
    c.tecCurrentMa = 560;
    c.ldTemp = 453;
    c.ldTemp2 = -15;
    c.ldType = 2;
    return u;
}

QStringList samples(const QByteArray &text)
{
    QStringList lines;
    for (const QString &line : QString::fromUtf8(text).split('\n'))
        if (!line.isEmpty() && !line.startsWith('#'))
            lines << line;
    return lines;
}

} // namespace

class TstMetricsExposition : public QObject
{
    Q_OBJECT

private slots:
    void schemaNamesFollowTheConventions();
    void answeredUnitShowsEveryField_data();
    void answeredUnitShowsEveryField();
    void lostUnitKeepsItsValues();
    void unitNeverSeenShowsOnlyUp();
    void everyFamilyOnceAndTogether();
    void labelValuesAreEscaped();
    void numbers_data();
    void numbers();
    void requestsGetTheirStatus_data();
    void requestsGetTheirStatus();
};

void TstMetricsExposition::schemaNamesFollowTheConventions()
{
    const QRegularExpression name("^korvex_[a-z][a-z0-9_]*[a-z0-9]$");
    QSet<QString> described;
    for (const StatusSchema::Field &f : StatusSchema::fields()) {
        const StatusSchema::Metric &m = f.metric;
        QVERIFY2(m.name, f.key);
        if (m.type == StatusSchema::MetricType::InfoLabel)
            continue;
        QVERIFY2(name.match(m.name).hasMatch(), m.name);
        QCOMPARE(QString(m.name).endsWith("_total"), m.type == StatusSchema::MetricType::Counter);
        // The first field of a series describes it; the others say nothing.
        QCOMPARE(m.help != nullptr, !described.contains(m.name));
        described.insert(m.name);
    }
}

void TstMetricsExposition::answeredUnitShowsEveryField_data()
{
    QTest::addColumn<QString>("line");
    const QString l = R"(port="/dev/ttyUSB0",serial="66051-202407090042")";
    QTest::newRow("up") << QString("korvex_up{%1} 1").arg(l);
    QTest::newRow("polls") << QString("korvex_polls_total{%1} 12").arg(l);
    QTest::newRow("lost polls") << QString("korvex_lost_polls_total{%1} 2").arg(l);
    QTest::newRow("sample time") << QString("korvex_last_sample_timestamp_seconds{%1} 1765272960.123").arg(l);
    QTest::newRow("info") << QString(R"(korvex_unit_info{%1,firmware="2.7",laser_type="Ld-50W"} 1)").arg(l);
    QTest::newRow("laser temperature") << QString("korvex_laser_temperature_celsius{%1} 45.3").arg(l);
    QTest::newRow("negative temperature") << QString("korvex_temperature2_celsius{%1} -1.5").arg(l);
    QTest::newRow("threshold") << QString("korvex_temperature_threshold_celsius{%1} 45.5").arg(l);
    QTest::newRow("TEC current") << QString("korvex_tec_current_amperes{%1} 0.56").arg(l);
    QTest::newRow("laser current") << QString("korvex_laser_current_amperes{%1} 1.234").arg(l);
    QTest::newRow("fan 1") << QString(R"(korvex_fan_speed_rpm{%1,fan="1"} 3000)").arg(l);
    QTest::newRow("fan 2") << QString(R"(korvex_fan_speed_rpm{%1,fan="2"} 0)").arg(l);
    QTest::newRow("power ratio") << QString("korvex_power_ratio{%1} 0.523").arg(l);
    QTest::newRow("alarm set") << QString(R"(korvex_alarm{%1,alarm="fan2"} 1)").arg(l);
    QTest::newRow("alarm clear") << QString(R"(korvex_alarm{%1,alarm="temperature"} 0)").arg(l);
    QTest::newRow("laser on") << QString("korvex_laser_on{%1} 1").arg(l);
    QTest::newRow("frames") << QString("korvex_device_received_frames_total{%1} 4000000000").arg(l);
    QTest::newRow("run time") << QString("korvex_run_time_seconds_total{%1} 7200").arg(l);
    QTest::newRow("hours in seconds") << QString("korvex_compensation_time_seconds{%1} 10800").arg(l);
}

void TstMetricsExposition::answeredUnitShowsEveryField()
{
    QFETCH(QString, line);
    const QStringList lines = samples(MetricsExposition::text({answeredUnit("/dev/ttyUSB0")}));
    QVERIFY2(lines.contains(line), qPrintable(lines.join('\n')));
}

void TstMetricsExposition::lostUnitKeepsItsValues()
{
    UnitMetrics u = answeredUnit("/dev/ttyUSB1");
    const QStringList before = samples(MetricsExposition::text({u}));
    u.up = false;
    const QStringList after = samples(MetricsExposition::text({u}));
    QCOMPARE(after.size(), before.size());
    QVERIFY(after.contains(R"(korvex_up{port="/dev/ttyUSB1",serial="66051-202407090042"} 0)"));
    QVERIFY(after.contains(R"(korvex_laser_temperature_celsius{port="/dev/ttyUSB1",serial="66051-202407090042"} 45.3)"));
}

void TstMetricsExposition::unitNeverSeenShowsOnlyUp()
{
    UnitMetrics waiting;
    waiting.port = "/dev/ttyUSB2";
    waiting.polls = 5;
    waiting.lostPolls = 5;
    const QStringList lines = samples(MetricsExposition::text({waiting, answeredUnit("/dev/ttyUSB0")}));
    const QStringList ofWaiting = lines.filter("ttyUSB2");
    QCOMPARE(ofWaiting, QStringList{R"(korvex_up{port="/dev/ttyUSB2",serial=""} 0)"});
}

void TstMetricsExposition::everyFamilyOnceAndTogether()
{
    const QByteArray text = MetricsExposition::text({answeredUnit("/dev/a"), answeredUnit("/dev/b")});
    QStringList order; // family of each line, in order
    QSet<QString> typed;
    for (const QString &line : QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith("# TYPE ")) {
            const QString family = line.section(' ', 2, 2);
            QVERIFY2(!typed.contains(family), qPrintable(family));
            typed.insert(family);
            order << family;
        } else if (!line.startsWith('#')) {
            QCOMPARE(line.section('{', 0, 0), order.last());
        }
    }
    QCOMPARE(text.count("# HELP "), typed.size());
}

void TstMetricsExposition::labelValuesAreEscaped()
{
    QCOMPARE(MetricsExposition::escapeLabelValue("a\"b\\c\nd"), QString("a\\\"b\\\\c\\nd"));
    UnitMetrics u;
    u.port = "/tmp/odd \"port\"\n";
    QVERIFY(MetricsExposition::text({u}).contains(R"(korvex_up{port="/tmp/odd \"port\"\n",serial=""} 0)"));
}

void TstMetricsExposition::numbers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("integer") << 3200.0 << QByteArray("3200");
    QTest::newRow("large integer") << 4294967295.0 << QByteArray("4294967295");
    QTest::newRow("shortest") << 0.1 << QByteArray("0.1");
    QTest::newRow("negative") << -1.5 << QByteArray("-1.5");
    QTest::newRow("nan") << qQNaN() << QByteArray("NaN");
    QTest::newRow("infinity") << qInf() << QByteArray("+Inf");
}

void TstMetricsExposition::numbers()
{
    QFETCH(double, value);
    QFETCH(QByteArray, text);
    QCOMPARE(MetricsExposition::number(value), text);
}

void TstMetricsExposition::requestsGetTheirStatus_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<uint>("status");
    QTest::addColumn<QByteArray>("type");
    QTest::newRow("metrics") << QByteArray("/metrics") << QByteArray("GET") << 200u << QByteArray("text/plain; version=0.0.4");
    QTest::newRow("head") << QByteArray("/metrics") << QByteArray("HEAD") << 200u << QByteArray("text/plain; version=0.0.4");
    QTest::newRow("index") << QByteArray("/") << QByteArray("GET") << 200u << QByteArray("text/html");
    QTest::newRow("other path") << QByteArray("/metrics/x") << QByteArray("GET") << 404u << QByteArray("text/plain");
    QTest::newRow("post") << QByteArray("/metrics") << QByteArray("POST") << 405u << QByteArray("text/plain");
    QTest::newRow("delete index") << QByteArray("/") << QByteArray("DELETE") << 405u << QByteArray("text/plain");
}

void TstMetricsExposition::requestsGetTheirStatus()
{
    QFETCH(QByteArray, url);
    QFETCH(QByteArray, method);
    QFETCH(uint, status);
    QFETCH(QByteArray, type);
    const MetricsServer server([] { return QByteArray("korvex_up 1\n"); });
    const MetricsServer::Reply reply = server.answer(url.constData(), method.constData());
    QCOMPARE(reply.status, status);
    QVERIFY2(QByteArray(reply.contentType).startsWith(type), reply.contentType);
    if (url == "/metrics" && status == 200)
        QCOMPARE(reply.body, QByteArray("korvex_up 1\n"));
    if (url == "/" && status == 200)
        QVERIFY(reply.body.contains("href=\"/metrics\""));
}

QTEST_GUILESS_MAIN(TstMetricsExposition)
#include "tst_metrics_exposition.moc"
