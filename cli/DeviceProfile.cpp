#include "DeviceProfile.h"

#include "StatusFormat.h"

#include <QJsonValue>

#include <cmath>

namespace {

constexpr double PidScale = 10000.0;

// A number that must be whole (within rounding) and in range.
bool wholeNumber(const QJsonObject &o, const char *key, double scale, double min, double max, qint64 *out,
                 QString *error)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble()) {
        *error = QStringLiteral("\"%1\" is missing or not a number").arg(QLatin1String(key));
        return false;
    }
    const double scaled = v.toDouble() * scale;
    const double rounded = std::round(scaled);
    if (std::fabs(scaled - rounded) > 1e-6 * std::max(1.0, std::fabs(scaled)) || rounded < min || rounded > max) {
        *error = QStringLiteral("\"%1\" has an unusable value %2").arg(QLatin1String(key)).arg(v.toDouble());
        return false;
    }
    *out = qint64(rounded);
    return true;
}

} // namespace

DeviceProfile DeviceProfile::fromDevice(const DevStatusCache &s, const QVector<quint32> &pid, bool withSerial)
{
    DeviceProfile p;
    p.thresholdTenths = s.tempThreshold;
    p.power = s.powerPercent;
    p.maxDac = s.maxDac;
    p.compensationHours = s.compensationHours;
    p.laserType = quint8(s.ldType);
    p.pidWords = {pid.value(2), pid.value(3), pid.value(4)};
    if (withSerial)
        p.serialRecord = s.serialNum;
    return p;
}

QJsonObject DeviceProfile::toJson() const
{
    QJsonObject o{
        {QStringLiteral("korvex_profile"), 1},
        {QStringLiteral("temp_threshold_c"), thresholdTenths / 10.0},
        {QStringLiteral("power"), int(power)},
        {QStringLiteral("max_dac"), int(maxDac)},
        {QStringLiteral("compensation_hours"), double(compensationHours)},
        {QStringLiteral("laser_type"), int(laserType)},
        {QStringLiteral("pid"),
         QJsonObject{{QStringLiteral("kp"), qint32(pidWords.at(0)) / PidScale},
                     {QStringLiteral("ki"), qint32(pidWords.at(1)) / PidScale},
                     {QStringLiteral("kd"), qint32(pidWords.at(2)) / PidScale}}},
    };
    if (serialRecord.size() == 8) {
        o.insert(QStringLiteral("serial_number"), StatusFormat::formatSerialNumber(serialRecord));
        o.insert(QStringLiteral("serial_record"), QString::fromLatin1(serialRecord.toHex()));
    }
    return o;
}

bool DeviceProfile::fromJson(const QJsonObject &o, DeviceProfile *p, QString *error)
{
    if (o.value(QStringLiteral("korvex_profile")).toInt() != 1) {
        *error = QStringLiteral("not a korvex profile (\"korvex_profile\": 1 missing)");
        return false;
    }
    qint64 v = 0;
    if (!wholeNumber(o, "temp_threshold_c", 10, -32768, 32767, &v, error))
        return false;
    p->thresholdTenths = qint16(v);
    if (!wholeNumber(o, "power", 1, 0, 1000, &v, error))
        return false;
    p->power = quint16(v);
    if (!wholeNumber(o, "max_dac", 1, 0, 4095, &v, error))
        return false;
    p->maxDac = quint16(v);
    if (!wholeNumber(o, "compensation_hours", 1, 0, 65535, &v, error))
        return false;
    p->compensationHours = quint32(v);
    if (!wholeNumber(o, "laser_type", 1, 0, 2, &v, error))
        return false;
    p->laserType = quint8(v);
    const QJsonObject pid = o.value(QStringLiteral("pid")).toObject();
    const char *keys[] = {"kp", "ki", "kd"};
    for (int i = 0; i < 3; ++i) {
        // Four decimals at most: the device keeps coefficients in 1/10000.
        if (!wholeNumber(pid, keys[i], PidScale, -2147483648.0, 2147483647.0, &v, error)) {
            *error = QStringLiteral("pid: ") + *error;
            return false;
        }
        p->pidWords[i] = quint32(qint32(v));
    }
    p->serialRecord.clear();
    if (o.contains(QStringLiteral("serial_record"))) {
        const QByteArray hex = o.value(QStringLiteral("serial_record")).toString().toLatin1();
        p->serialRecord = QByteArray::fromHex(hex);
        if (hex.size() != 16 || p->serialRecord.size() != 8 || p->serialRecord.toHex() != hex.toLower()) {
            *error = QStringLiteral("\"serial_record\" must be 16 hex digits");
            return false;
        }
    }
    return true;
}
