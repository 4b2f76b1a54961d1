#include "StatusRecord.h"

#include "StatusFormat.h"

#include <QJsonArray>

namespace StatusRecord {

namespace {

double tenths(qint16 value) { return value / 10.0; }
double amps(quint16 milliamps) { return milliamps / 1000.0; }

// Every number goes out as the shortest text that reads back to the same
// value, as the JSON writer does: 1.234, not 1.2340000000000000.
QString numberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString boolText(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QJsonObject statusJson(const DevStatusCache &c)
{
    QJsonObject alarms{
        {QStringLiteral("temperature"), bool(c.alarmBits & 0x01)},
        {QStringLiteral("fan1"), bool(c.alarmBits & 0x02)},
        {QStringLiteral("fan2"), bool(c.alarmBits & 0x04)},
        {QStringLiteral("fan3"), bool(c.alarmBits & 0x08)},
    };
    return QJsonObject{
        {QStringLiteral("firmware"), QString::number(c.fwMajor) + QLatin1Char('.') + QString::number(c.fwMinor)},
        {QStringLiteral("laser_on"), bool(c.ldStatBits & 0x01)},
        {QStringLiteral("alarms"), alarms},
        {QStringLiteral("power"), int(c.powerPercent)},
        {QStringLiteral("temp_threshold_c"), tenths(c.tempThreshold)},
        {QStringLiteral("rx_frames"), double(c.devRxFrames)},
        {QStringLiteral("tx_frames"), double(c.devTxFrames)},
        {QStringLiteral("serial_number"), StatusFormat::formatSerialNumber(c.serialNum)},
        {QStringLiteral("run_seconds"), double(c.runSeconds)},
        {QStringLiteral("compensation_hours"), double(c.compensationHours)},
        {QStringLiteral("fan_rpm"), QJsonArray{int(c.fanSpeed1), int(c.fanSpeed2), int(c.fanSpeed3)}},
        {QStringLiteral("laser_current_a"), amps(c.ldCurrent)},
        {QStringLiteral("tec_current_a"), amps(c.tecCurrentMa)},
        {QStringLiteral("laser_temp_c"), tenths(c.ldTemp)},
        {QStringLiteral("temp2_c"), tenths(c.ldTemp2)},
        {QStringLiteral("max_dac"), int(c.maxDac)},
        {QStringLiteral("laser_type"), double(c.ldType)},
        {QStringLiteral("mcu_temp_c"), tenths(c.mcuTemp)},
        {QStringLiteral("ambient_temp_c"), tenths(c.envTemp)},
    };
}

QJsonObject sampleJson(const QDateTime &time, const DevStatusCache &cache)
{
    QJsonObject sample = statusJson(cache);
    sample.insert(QStringLiteral("time"), timestamp(time));
    return sample;
}

QJsonObject lostSampleJson(const QDateTime &time)
{
    return QJsonObject{{QStringLiteral("time"), timestamp(time)}, {QStringLiteral("lost"), true}};
}

QStringList csvHeader()
{
    return {
        QStringLiteral("time"),
        QStringLiteral("firmware"),
        QStringLiteral("laser_on"),
        QStringLiteral("alarm_temperature"),
        QStringLiteral("alarm_fan1"),
        QStringLiteral("alarm_fan2"),
        QStringLiteral("alarm_fan3"),
        QStringLiteral("power"),
        QStringLiteral("temp_threshold_c"),
        QStringLiteral("rx_frames"),
        QStringLiteral("tx_frames"),
        QStringLiteral("serial_number"),
        QStringLiteral("run_seconds"),
        QStringLiteral("compensation_hours"),
        QStringLiteral("fan1_rpm"),
        QStringLiteral("fan2_rpm"),
        QStringLiteral("fan3_rpm"),
        QStringLiteral("laser_current_a"),
        QStringLiteral("tec_current_a"),
        QStringLiteral("laser_temp_c"),
        QStringLiteral("temp2_c"),
        QStringLiteral("max_dac"),
        QStringLiteral("laser_type"),
        QStringLiteral("mcu_temp_c"),
        QStringLiteral("ambient_temp_c"),
    };
}

QStringList csvValues(const QDateTime &time, const DevStatusCache &c)
{
    return {
        timestamp(time),
        QString::number(c.fwMajor) + QLatin1Char('.') + QString::number(c.fwMinor),
        boolText(c.ldStatBits & 0x01),
        boolText(c.alarmBits & 0x01),
        boolText(c.alarmBits & 0x02),
        boolText(c.alarmBits & 0x04),
        boolText(c.alarmBits & 0x08),
        QString::number(c.powerPercent),
        numberText(tenths(c.tempThreshold)),
        QString::number(c.devRxFrames),
        QString::number(c.devTxFrames),
        StatusFormat::formatSerialNumber(c.serialNum),
        QString::number(c.runSeconds),
        QString::number(c.compensationHours),
        QString::number(c.fanSpeed1),
        QString::number(c.fanSpeed2),
        QString::number(c.fanSpeed3),
        numberText(amps(c.ldCurrent)),
        numberText(amps(c.tecCurrentMa)),
        numberText(tenths(c.ldTemp)),
        numberText(tenths(c.ldTemp2)),
        QString::number(c.maxDac),
        QString::number(c.ldType),
        numberText(tenths(c.mcuTemp)),
        numberText(tenths(c.envTemp)),
    };
}

QStringList lostCsvValues(const QDateTime &time)
{
    QStringList values;
    values.reserve(csvHeader().size());
    values.append(timestamp(time));
    while (values.size() < csvHeader().size())
        values.append(QString());
    return values;
}

QString csvLine(const QStringList &fields)
{
    QStringList escaped;
    escaped.reserve(fields.size());
    for (const QString &f : fields)
        escaped.append(csvField(f));
    return escaped.join(QLatin1Char(','));
}

QString timestamp(const QDateTime &time)
{
    if (time.timeSpec() == Qt::UTC)
        return time.toString(Qt::ISODateWithMs);
    // Local times carry their offset so that a night's recording across a
    // change of daylight saving time still reads unambiguously.
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

} // namespace StatusRecord
