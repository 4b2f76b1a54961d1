// The status schema: each field decoded from a known reply and shown by every
// output (data display, JSON, CSV, terminal text, trend) from its one row.

#include "StatusDecoder.h"
#include "StatusFormat.h"
#include "StatusRecord.h"
#include "StatusSchema.h"
#include "StatusText.h"
#include "TrendSample.h"

#include "StatusBytes.h"

#include <QJsonArray>
#include <QSet>
#include <QTest>

namespace {

struct Outputs
{
    QString csv, json, display, terminal;
    float trend = 0;
};

// What each output shows of one field.
Outputs outputsOf(const StatusSchema::Field &f, const QByteArray &data)
{
    DevStatusCache c;
    StatusDecoder::parseAllStatus(c, Protocol().packFrame(StatusDecoder::WordAllStatus, data));
    Outputs o;
    o.csv = StatusRecord::csvValues(QDateTime(), c).value(StatusRecord::csvHeader().indexOf(f.key));

    const QString place = QLatin1String(f.json ? f.json : f.key);
    QJsonValue v = StatusRecord::statusJson(c).value(place.section('.', 0, 0).remove("[]"));
    if (place.contains('.'))
        v = v.toObject().value(place.section('.', 1));
    if (place.endsWith("[]")) // the fans, in the order of their columns
        v = v.toArray().at(QString(f.key).mid(3, 1).toInt() - 1);
    o.json = v.isString() ? v.toString() : v.isBool() ? (v.toBool() ? "true" : "false") : QString::number(v.toDouble());

    for (const auto &text : StatusFormat::fieldTexts(c))
        if (text.first == f.display.object)
            o.display = text.second;
    for (const QString &line : StatusText::lines(c))
        if (line.startsWith(QString(f.terminal.label) + ':'))
            o.terminal = line.mid(23);
    if (f.trend >= 0)
        o.trend = TrendSample::fromStatus(0, c).values[f.trend];
    return o;
}

struct Expected
{
    const char *csv, *display, *terminal;
    float trend;
};

// The outputs of StatusBytes::sample(), field by field.
const QMap<QString, Expected> &sampleOutputs()
{
    static const QMap<QString, Expected> known{
        {"firmware", {"1.5", "V1.5", "1.5", 0}},
        {"laser_on", {"true", "", "on", 0}},
        {"alarm_temperature", {"false", "", "ok", 0}},
        {"alarm_fan1", {"true", "", "ALARM", 0}},
        {"alarm_fan2", {"false", "", "ok", 0}},
        {"alarm_fan3", {"true", "", "ALARM", 0}},
        {"power", {"640", "640", "640 of 1000", 0}},
        {"temp_threshold_c", {"45.5", "45.5℃", "45.5 °C", 45.5f}},
        {"rx_frames", {"123456", "123456", "123456", 0}},
        {"tx_frames", {"654321", "654321", "654321", 0}},
        {"serial_number", {"66051-202407090042", "66051-202407090042", "66051-202407090042", 0}},
        {"run_seconds", {"7200", "2H", "7200 s (2 h)", 0}},
        {"compensation_hours", {"36", "36H", "36 h", 0}},
        {"fan1_rpm", {"3000", "3000 rpm", "3000 rpm", 3000}},
        {"fan2_rpm", {"3100", "3100 rpm", "3100 rpm", 3100}},
        {"fan3_rpm", {"3200", "3200 rpm", "3200 rpm", 3200}},
        {"laser_current_a", {"1.234", "1.23 A", "1.234 A", 1.234f}},
        {"tec_current_a", {"0.56", "0.56 A", "0.560 A", 0.56f}},
        {"laser_temp_c", {"-1.5", "-1.5 ℃", "-1.5 °C", -1.5f}},
        {"temp2_c", {"25.3", "25.3 ℃", "25.3 °C", 25.3f}},
        {"max_dac", {"3900", "3900", "3900", 0}},
        {"laser_type", {"2", "Ld-50W", "Ld-50W (code 2)", 0}},
        {"mcu_temp_c", {"41.2", "41.2 ℃", "41.2 °C", 41.2f}},
        {"ambient_temp_c", {"23.7", "23.7 ℃", "23.7 °C", 23.7f}},
    };
    return known;
}

} // namespace

class TestStatusSchema : public QObject
{
    Q_OBJECT

private:
    static void oneRowPerField()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < StatusSchema::fields().size(); ++i)
            QTest::newRow(StatusSchema::fields().at(i).key) << i;
    }

private slots:
    // Each row decodes the known reply into the texts every output shows.
    void knownReply_data() { oneRowPerField(); }
    void knownReply()
    {
        QFETCH(int, row);
        const StatusSchema::Field &f = StatusSchema::fields().at(row);
        QVERIFY2(sampleOutputs().contains(f.key), "a field without an expected output");
        const Expected e = sampleOutputs().value(f.key);
        const Outputs o = outputsOf(f, StatusBytes::sample().data());
        QCOMPARE(o.csv, QString(e.csv));
        QCOMPARE(o.json, QString(e.csv));
        QCOMPARE(o.display, QString(e.display));
        QCOMPARE(o.terminal, QString(e.terminal));
        QCOMPARE(o.trend, e.trend);
    }

    // A change in a field's bytes alone reaches every output that has the field.
    void everyFieldReachesEveryOutput_data() { oneRowPerField(); }
    void everyFieldReachesEveryOutput()
    {
        QFETCH(int, row);
        const StatusSchema::Field &f = StatusSchema::fields().at(row);
        const QByteArray zeros(StatusDecoder::AllStatusFrameSize - 5, '\0');
        const Outputs before = outputsOf(f, zeros);
        const Outputs after = outputsOf(f, QByteArray(zeros).replace(f.offset, f.width, QByteArray(f.width, '\xFF')));
        QVERIFY(after.csv != before.csv);
        QVERIFY(after.json != before.json);
        QVERIFY(after.terminal != before.terminal);
        QCOMPARE(after.display != before.display, f.display.bit != 0);
        QCOMPARE(after.trend != before.trend, f.trend >= 0);
    }

    // Each field of the data display and each trend channel has exactly one row.
    void rowsCoverTheDisplayAndTheChannels()
    {
        quint32 bits = 0;
        QSet<int> channels;
        QSet<QString> keys;
        for (const StatusSchema::Field &f : StatusSchema::fields()) {
            QVERIFY2(!(bits & f.display.bit), f.key);
            bits |= f.display.bit;
            if (f.trend >= 0)
                channels.insert(f.trend);
            keys.insert(f.key);
        }
        QCOMPARE(bits, quint32(DevField::All));
        QCOMPARE(channels.size(), int(TrendChannelCount));
        QCOMPARE(keys.size(), StatusSchema::fields().size());
        QCOMPARE(StatusFormat::fieldTexts(DevStatusCache()).size(), qPopulationCount(quint32(DevField::All)));
        // The help of `status --json` names the keys as the object has them.
        QCOMPARE(StatusRecord::jsonKeysText(),
                 QString("firmware, laser_on, alarms{temperature,fan1,fan2,fan3}, power, temp_threshold_c, "
                         "rx_frames, tx_frames, serial_number, run_seconds, compensation_hours, fan_rpm[3], "
                         "laser_current_a, tec_current_a, laser_temp_c, temp2_c, max_dac, laser_type, "
                         "mcu_temp_c, ambient_temp_c"));
    }
};

QTEST_GUILESS_MAIN(TestStatusSchema)
#include "tst_statusschema.moc"
