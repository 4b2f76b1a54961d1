// The machine-readable status record: JSON keys and values, CSV columns and
// rows, lost samples and timestamps, from a decoded all-status reply.

#include "StatusDecoder.h"
#include "StatusRecord.h"

#include "StatusBytes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

class TestStatusRecord : public QObject
{
    Q_OBJECT

private:
    static DevStatusCache sampleCache()
    {
        DevStatusCache c;
        StatusDecoder::parseAllStatus(c, StatusBytes::sample().frame());
        return c;
    }

private slots:
    void jsonHasExactlyTheKeysAndValues()
    {
        const QJsonObject o = StatusRecord::statusJson(sampleCache());
        QStringList keys = o.keys();
        QStringList expected{"firmware", "laser_on", "alarms", "power", "temp_threshold_c",
                             "rx_frames", "tx_frames", "serial_number", "run_seconds",
                             "compensation_hours", "fan_rpm", "laser_current_a", "tec_current_a",
                             "laser_temp_c", "temp2_c", "max_dac", "laser_type", "mcu_temp_c",
                             "ambient_temp_c"};
        keys.sort();
        expected.sort();
        QCOMPARE(keys, expected);

        QCOMPARE(o["firmware"].toString(), QString("1.5"));
        QCOMPARE(o["laser_on"].toBool(), true);
        const QJsonObject alarms = o["alarms"].toObject();
        QCOMPARE(alarms.keys().size(), 4);
        QCOMPARE(alarms["temperature"].toBool(), false);
        QCOMPARE(alarms["fan1"].toBool(), true);
        QCOMPARE(alarms["fan2"].toBool(), false);
        QCOMPARE(alarms["fan3"].toBool(), true);
        QCOMPARE(o["power"].toInt(), 640);
        QCOMPARE(o["temp_threshold_c"].toDouble(), 45.5);
        QCOMPARE(o["rx_frames"].toDouble(), 123456.0);
        QCOMPARE(o["tx_frames"].toDouble(), 654321.0);
        QCOMPARE(o["serial_number"].toString(), QString("66051-202407090042"));
        QCOMPARE(o["run_seconds"].toDouble(), 7200.0);
        QCOMPARE(o["compensation_hours"].toDouble(), 36.0);
        QCOMPARE(o["fan_rpm"].toArray(), (QJsonArray{3000, 3100, 3200}));
        QCOMPARE(o["laser_current_a"].toDouble(), 1.234);
        QCOMPARE(o["tec_current_a"].toDouble(), 0.56);
        QCOMPARE(o["laser_temp_c"].toDouble(), -1.5);
        QCOMPARE(o["temp2_c"].toDouble(), 25.3);
        QCOMPARE(o["max_dac"].toInt(), 3900);
        QCOMPARE(o["laser_type"].toInt(), 2);
        QCOMPARE(o["mcu_temp_c"].toDouble(), 41.2);
        QCOMPARE(o["ambient_temp_c"].toDouble(), 23.7);

        // Written out, the numbers keep full precision and no noise digits.
        const QByteArray text = QJsonDocument(o).toJson(QJsonDocument::Compact);
        QVERIFY2(text.contains("\"laser_current_a\":1.234,"), text.constData());
        QVERIFY2(text.contains("\"mcu_temp_c\":41.2,"), text.constData());
    }

    void largeCountersStayExact()
    {
        DevStatusCache c;
        c.devRxFrames = 0xFFFFFFFFu;
        c.runSeconds = 4000000000u;
        const QJsonObject o = StatusRecord::statusJson(c);
        QCOMPARE(qint64(o["rx_frames"].toDouble()), qint64(0xFFFFFFFFu));
        QCOMPARE(StatusRecord::csvValues(QDateTime::currentDateTimeUtc(), c).at(9), QString("4294967295"));
        // No serial number read yet: an empty text, as in the window.
        QCOMPARE(o["serial_number"].toString(), QString());
    }

    void csvRowMatchesHeaderAndJson()
    {
        const QDateTime t(QDate(2026, 12, 7), QTime(14, 58, 26, 7), Qt::UTC);
        const QStringList header = StatusRecord::csvHeader();
        const QStringList row = StatusRecord::csvValues(t, sampleCache());
        QCOMPARE(row.size(), header.size());
        QCOMPARE(header.first(), QString("time"));
        QCOMPARE(header.size(), 25);
        QStringList unique = header;
        QCOMPARE(unique.removeDuplicates(), 0);
        auto value = [&](const char *column) { return row.at(header.indexOf(column)); };
        QCOMPARE(value("time"), QString("2026-12-07T14:58:26.007Z"));
        QCOMPARE(value("firmware"), QString("1.5"));
        QCOMPARE(value("laser_on"), QString("true"));
        QCOMPARE(value("alarm_temperature"), QString("false"));
        QCOMPARE(value("alarm_fan1"), QString("true"));
        QCOMPARE(value("alarm_fan3"), QString("true"));
        QCOMPARE(value("fan2_rpm"), QString("3100"));
        QCOMPARE(value("laser_current_a"), QString("1.234"));
        QCOMPARE(value("laser_temp_c"), QString("-1.5"));
        QCOMPARE(value("serial_number"), QString("66051-202407090042"));
        QCOMPARE(value("laser_type"), QString("2"));
        QCOMPARE(value("ambient_temp_c"), QString("23.7"));
    }

    void lostSampleHasTimeOnly()
    {
        const QDateTime t(QDate(2026, 1, 2), QTime(3, 4, 5, 600), Qt::UTC);
        const QStringList row = StatusRecord::lostCsvValues(t);
        QCOMPARE(row.size(), StatusRecord::csvHeader().size());
        QCOMPARE(row.first(), QString("2026-01-02T03:04:05.600Z"));
        for (int i = 1; i < row.size(); ++i)
            QVERIFY(row.at(i).isEmpty());
        QCOMPARE(StatusRecord::csvLine(row), QString("2026-01-02T03:04:05.600Z") + QString(24, ','));

        const QJsonObject lost = StatusRecord::lostSampleJson(t);
        QCOMPARE(lost.keys(), (QStringList{"lost", "time"}));
        QCOMPARE(lost["lost"].toBool(), true);
        const QJsonObject sample = StatusRecord::sampleJson(t, sampleCache());
        QCOMPARE(sample["time"].toString(), QString("2026-01-02T03:04:05.600Z"));
        QVERIFY(!sample.contains("lost"));
        QCOMPARE(sample.size(), 20);
    }

    void csvLineQuotesOnlyWhereNeeded()
    {
        QCOMPARE(StatusRecord::csvLine({"a", "b c", ""}), QString("a,b c,"));
        QCOMPARE(StatusRecord::csvLine({"x,y", "say \"hi\""}), QString("\"x,y\",\"say \"\"hi\"\"\""));
    }

    void localTimesCarryTheirOffset()
    {
        const QDateTime t(QDate(2026, 7, 1), QTime(12, 0, 0, 250), Qt::OffsetFromUTC, 2 * 3600);
        QCOMPARE(StatusRecord::timestamp(t), QString("2026-07-01T12:00:00.250+02:00"));
        const QString local = StatusRecord::timestamp(QDateTime::currentDateTime());
        QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)$")
                     .match(local).hasMatch(), qPrintable(local));
    }
};

QTEST_GUILESS_MAIN(TestStatusRecord)
#include "tst_statusrecord.moc"
