#include "StatusSchema.h"

#include "StatusFormat.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>

#include <type_traits>

namespace StatusSchema {

namespace {

template <auto M>
Member member()
{
    using Value = std::remove_reference_t<decltype(std::declval<DevStatusCache &>().*M)>;
    return {[](const DevStatusCache &c) { return qint64(c.*M); },
            [](DevStatusCache &c, qint64 v) { c.*M = Value(v); }};
}

template <auto M, int Mask>
Member bit()
{
    using Value = std::remove_reference_t<decltype(std::declval<DevStatusCache &>().*M)>;
    return {[](const DevStatusCache &c) { return qint64((c.*M & Mask) != 0); },
            [](DevStatusCache &c, qint64 v) { c.*M = Value(v); }};
}

using C = DevStatusCache;
using K = Kind;
using T = MetricType;
namespace F = DevField;

// clang-format off
QVector<Field> makeTable()
{
    const Member firmware{[](const DevStatusCache &c) { return qint64(c.fwMajor << 8 | c.fwMinor); },
                          [](DevStatusCache &c, qint64 v) {
                              c.fwMajor = quint8(v >> 8);
                              c.fwMinor = quint8(v);
                          }};
    const Member serialRecord{nullptr, nullptr};

    return {
        // key, JSON place, kind, cache member, data offset, width, divisor,
        //   {display bit, object, format, decimals}, {terminal label, format, decimals}, trend,
        //   {metric type, name, label, scale, help}
        {"firmware", nullptr, K::Firmware, firmware, 0, 2, 1,
         {F::Firmware, "SoftVersion", "V%1", 0}, {"Firmware", "%1", 0}, -1,
         {T::InfoLabel, "firmware", nullptr, 1, "Firmware version"}},
        {"laser_on", nullptr, K::Flag, bit<&C::ldStatBits, 0x01>(), 2, 1, 1,
         {}, {"Laser", "on|off", 0}, -1,
         {T::Gauge, "korvex_laser_on", nullptr, 1, "1 while the laser source is on"}},
        {"alarm_temperature", "alarms.temperature", K::Flag, bit<&C::alarmBits, AlarmTemperature>(), 3, 1, 1,
         {}, {"Temperature alarm", "ALARM|ok", 0}, -1,
         {T::Gauge, "korvex_alarm", "alarm=temperature", 1, "1 while the device raises the alarm"}},
        {"alarm_fan1", "alarms.fan1", K::Flag, bit<&C::alarmBits, AlarmFan1>(), 3, 1, 1,
         {}, {"Fan 1 alarm", "ALARM|ok", 0}, -1,
         {T::Gauge, "korvex_alarm", "alarm=fan1", 1, nullptr}},
        {"alarm_fan2", "alarms.fan2", K::Flag, bit<&C::alarmBits, AlarmFan2>(), 3, 1, 1,
         {}, {"Fan 2 alarm", "ALARM|ok", 0}, -1,
         {T::Gauge, "korvex_alarm", "alarm=fan2", 1, nullptr}},
        {"alarm_fan3", "alarms.fan3", K::Flag, bit<&C::alarmBits, AlarmFan3>(), 3, 1, 1,
         {}, {"Fan 3 alarm", "ALARM|ok", 0}, -1,
         {T::Gauge, "korvex_alarm", "alarm=fan3", 1, nullptr}},
        {"power", nullptr, K::Number, member<&C::powerPercent>(), 4, 2, 1,
         {F::PowerPercent, "PowerPercentShow", "%1", 0}, {"Power", "%1 of 1000", 0}, -1,
         {T::Gauge, "korvex_power_ratio", nullptr, 0.001, "Power setting, 0 to 1 of full power"}},
        {"temp_threshold_c", nullptr, K::Number, member<&C::tempThreshold>(), 6, 2, 10,
         {F::TempThreshold, "TempThreshold", "%1℃", 1}, {"Temperature threshold", "%1 °C", 1}, TrendTempThreshold,
         {T::Gauge, "korvex_temperature_threshold_celsius", nullptr, 1, "Protection threshold of the laser temperature"}},
        {"rx_frames", nullptr, K::Number, member<&C::devRxFrames>(), 8, 4, 1,
         {F::RxFrames, "DevRxFrame", "%1", 0}, {"Frames received", "%1", 0}, -1,
         {T::Counter, "korvex_device_received_frames_total", nullptr, 1, "Frames the device has received since it started"}},
        {"tx_frames", nullptr, K::Number, member<&C::devTxFrames>(), 12, 4, 1,
         {F::TxFrames, "DevTxFrame", "%1", 0}, {"Frames sent", "%1", 0}, -1,
         {T::Counter, "korvex_device_sent_frames_total", nullptr, 1, "Frames the device has sent since it started"}},
        {"serial_number", nullptr, K::SerialRecord, serialRecord, 16, 8, 1,
         {F::SerialNum, "devSerialNum", "%1", 0}, {"Serial number", "%1", 0}, -1,
         {T::InfoLabel, "serial", nullptr, 1, "Serial number"}},
        {"run_seconds", nullptr, K::RunTime, member<&C::runSeconds>(), 24, 4, 1,
         {F::RunTime, "LdWorkHours", "%2H", 0}, {"Run time", "%1 s (%2 h)", 0}, -1,
         {T::Counter, "korvex_run_time_seconds_total", nullptr, 1, "Time the device has run"}},
        {"compensation_hours", nullptr, K::Number, member<&C::compensationHours>(), 28, 4, 1,
         {F::Compensation, "StatAutoCompensation", "%1H", 0}, {"Compensation time", "%1 h", 0}, -1,
         {T::Gauge, "korvex_compensation_time_seconds", nullptr, 3600, "Automatic compensation time"}},
        {"fan1_rpm", "fan_rpm[]", K::Number, member<&C::fanSpeed1>(), 32, 2, 1,
         {F::FanSpeed1, "FanSpeed1", "%1 rpm", 0}, {"Fan 1 speed", "%1 rpm", 0}, TrendFan1,
         {T::Gauge, "korvex_fan_speed_rpm", "fan=1", 1, "Fan speed"}},
        {"fan2_rpm", "fan_rpm[]", K::Number, member<&C::fanSpeed2>(), 34, 2, 1,
         {F::FanSpeed2, "FanSpeed2", "%1 rpm", 0}, {"Fan 2 speed", "%1 rpm", 0}, TrendFan2,
         {T::Gauge, "korvex_fan_speed_rpm", "fan=2", 1, nullptr}},
        {"fan3_rpm", "fan_rpm[]", K::Number, member<&C::fanSpeed3>(), 36, 2, 1,
         {F::FanSpeed3, "FanSpeed3", "%1 rpm", 0}, {"Fan 3 speed", "%1 rpm", 0}, TrendFan3,
         {T::Gauge, "korvex_fan_speed_rpm", "fan=3", 1, nullptr}},
        {"laser_current_a", nullptr, K::Number, member<&C::ldCurrent>(), 38, 2, 1000,
         {F::LdCurrent, "LdCurrent", "%1 A", 2}, {"Laser current", "%1 A", 3}, TrendLaserCurrent,
         {T::Gauge, "korvex_laser_current_amperes", nullptr, 1, "Laser current"}},
        {"tec_current_a", nullptr, K::Number, member<&C::tecCurrentMa>(), 40, 2, 1000,
         {F::TecCurrent, "tecCurrent", "%1 A", 2}, {"TEC current", "%1 A", 3}, TrendTecCurrent,
         {T::Gauge, "korvex_tec_current_amperes", nullptr, 1, "TEC current"}},
        {"laser_temp_c", nullptr, K::Number, member<&C::ldTemp>(), 42, 2, 10,
         {F::LdTemp, "LdTemp", "%1 ℃", 1}, {"Laser temperature", "%1 °C", 1}, TrendLaserTemp,
         {T::Gauge, "korvex_laser_temperature_celsius", nullptr, 1, "Laser temperature"}},
        {"temp2_c", nullptr, K::Number, member<&C::ldTemp2>(), 44, 2, 10,
         {F::LdTemp2, "LdTemp_2", "%1 ℃", 1}, {"Temperature 2", "%1 °C", 1}, TrendTemp2,
         {T::Gauge, "korvex_temperature2_celsius", nullptr, 1, "Second laser temperature"}},
        {"max_dac", nullptr, K::Number, member<&C::maxDac>(), 46, 2, 1,
         {F::MaxDac, "lineEdit_MaxDacShow", "%1", 0}, {"Maximum DAC", "%1", 0}, -1,
         {T::Gauge, "korvex_max_dac", nullptr, 1, "Maximum DAC value"}},
        // data byte 49 is not used
        {"laser_type", nullptr, K::LaserType, member<&C::ldType>(), 48, 1, 1,
         {F::LdType, "devLdType", "%1", 0}, {"Laser type", "%1 (code %2)", 0}, -1,
         {T::InfoLabel, "laser_type", nullptr, 1, "Laser type"}},
        {"mcu_temp_c", nullptr, K::Number, member<&C::mcuTemp>(), 50, 2, 10,
         {F::McuTemp, "mcuTemperature", "%1 ℃", 1}, {"MCU temperature", "%1 °C", 1}, TrendMcuTemp,
         {T::Gauge, "korvex_mcu_temperature_celsius", nullptr, 1, "MCU temperature"}},
        {"ambient_temp_c", nullptr, K::Number, member<&C::envTemp>(), 52, 2, 10,
         {F::EnvTemp, "envTemperature", "%1 ℃", 1}, {"Ambient temperature", "%1 °C", 1}, TrendEnvTemp,
         {T::Gauge, "korvex_ambient_temperature_celsius", nullptr, 1, "Ambient temperature"}},
    };
}
// clang-format on

quint64 bigEndian(const QByteArray &data, int at, int width)
{
    quint64 v = 0;
    for (int i = 0; i < width; ++i)
        v = (v << 8) | quint8(data.at(at + i));
    return v;
}

} // namespace

const QVector<Field> &fields()
{
    static const QVector<Field> table = makeTable();
    return table;
}

QVector<const Field *> displayOrder()
{
    QVector<const Field *> shown;
    QVector<const Field *> others;
    for (const Field &f : fields())
        (f.display.bit ? shown : others).append(&f);
    std::sort(shown.begin(), shown.end(), [](const Field *a, const Field *b) { return a->display.bit < b->display.bit; });
    return shown + others;
}

const Field *find(const QString &key)
{
    for (const Field &f : fields())
        if (key == QLatin1String(f.key))
            return &f;
    return nullptr;
}

qint64 raw(const Field &field, const DevStatusCache &cache)
{
    return field.raw.get ? field.raw.get(cache) : 0;
}

double value(const Field &field, const DevStatusCache &cache)
{
    return double(raw(field, cache)) / field.divisor;
}

QString plainText(const Field &field, const DevStatusCache &cache)
{
    const qint64 v = raw(field, cache);
    switch (field.kind) {
    case Kind::Flag:
        return v ? QStringLiteral("true") : QStringLiteral("false");
    case Kind::Firmware:
        return QString::number(cache.fwMajor) + QLatin1Char('.') + QString::number(cache.fwMinor);
    case Kind::SerialRecord:
        return StatusFormat::formatSerialNumber(cache.serialNum);
    default:
        // Every number as the shortest text that reads back to the same
        // value, as the JSON writer does: 1.234, not 1.2340000000000000.
        return field.divisor == 1 ? QString::number(v)
                                  : QString::number(value(field, cache), 'g', QLocale::FloatingPointShortest);
    }
}

void decodeField(DevStatusCache &cache, const Field &field, const QByteArray &data, int at)
{
    if (field.kind == Kind::SerialRecord)
        cache.serialNum = data.mid(at, field.width);
    else
        field.raw.set(cache, qint64(bigEndian(data, at, field.width)));
}

void decode(DevStatusCache &cache, const QByteArray &data)
{
    for (const Field &f : fields())
        decodeField(cache, f, data, f.offset);
}

const QVector<SingleReply> &singleReplies()
{
    static const QVector<SingleReply> replies = {
        {0x0050, {"firmware"}},
        {0x0051, {"laser_on"}},
        {0x0052, {"power"}},
        {0x0053, {"temp_threshold_c"}},
        {0x0054, {"rx_frames", "tx_frames"}},
        {0x0055, {"serial_number"}},
        {0x0056, {"alarm_temperature"}},
    };
    return replies;
}

const SingleReply *singleReply(quint16 word)
{
    for (const SingleReply &r : singleReplies())
        if (r.word == word)
            return &r;
    return nullptr;
}

const QVector<Alarm> &alarms()
{
    static const QVector<Alarm> table = {
        {AlarmTemperature, "alarm_temperature", "labelTempAlarm", "TEMP-ALARM", QT_TRANSLATE_NOOP("EventLog", "温度报警")},
        {AlarmFan1, "alarm_fan1", "labelFanAlarm_1", "FAN1-ALARM", QT_TRANSLATE_NOOP("EventLog", "风扇1报警")},
        {AlarmFan2, "alarm_fan2", "labelFanAlarm_2", "FAN2-ALARM", QT_TRANSLATE_NOOP("EventLog", "风扇2报警")},
        {AlarmFan3, "alarm_fan3", "labelFanAlarm_3", "FAN3-ALARM", QT_TRANSLATE_NOOP("EventLog", "风扇3报警")},
    };
    return table;
}

const char *laserTypeName(qint64 code)
{
    static const char *const names[] = {"Ld-25W", "Ld-30W", "Ld-50W"};
    return code >= 0 && code < 3 ? names[code] : nullptr;
}

} // namespace StatusSchema
