#include "StatusText.h"

#include "StatusFormat.h"
#include "StatusRecord.h"

namespace StatusText {

namespace {

QString tenths(qint16 value) { return QString::number(value / 10.0, 'f', 1) + QStringLiteral(" °C"); }
QString amps(quint16 milliamps) { return QString::number(milliamps / 1000.0, 'f', 3) + QStringLiteral(" A"); }
QString alarmWord(bool alarm) { return alarm ? QStringLiteral("ALARM") : QStringLiteral("ok"); }

QString typeText(quint32 code)
{
    static const char *names[] = {"Ld-25W", "Ld-30W", "Ld-50W"};
    return code < 3 ? QStringLiteral("%1 (code %2)").arg(QLatin1String(names[code])).arg(code)
                    : QStringLiteral("unknown (code %1)").arg(code);
}

} // namespace

QStringList lines(const DevStatusCache &c)
{
    const QVector<QPair<QString, QString>> rows = {
        {QStringLiteral("Firmware"), QStringLiteral("%1.%2").arg(c.fwMajor).arg(c.fwMinor)},
        {QStringLiteral("Power"), QStringLiteral("%1 of 1000").arg(c.powerPercent)},
        {QStringLiteral("Temperature threshold"), tenths(c.tempThreshold)},
        {QStringLiteral("Frames received"), QString::number(c.devRxFrames)},
        {QStringLiteral("Frames sent"), QString::number(c.devTxFrames)},
        {QStringLiteral("Serial number"), StatusFormat::formatSerialNumber(c.serialNum)},
        {QStringLiteral("Run time"), QStringLiteral("%1 s (%2 h)").arg(c.runSeconds).arg(c.runSeconds / 3600)},
        {QStringLiteral("Compensation time"), QStringLiteral("%1 h").arg(c.compensationHours)},
        {QStringLiteral("Fan 1 speed"), QStringLiteral("%1 rpm").arg(c.fanSpeed1)},
        {QStringLiteral("Fan 2 speed"), QStringLiteral("%1 rpm").arg(c.fanSpeed2)},
        {QStringLiteral("Fan 3 speed"), QStringLiteral("%1 rpm").arg(c.fanSpeed3)},
        {QStringLiteral("Laser current"), amps(c.ldCurrent)},
        {QStringLiteral("TEC current"), amps(c.tecCurrentMa)},
        {QStringLiteral("Laser temperature"), tenths(c.ldTemp)},
        {QStringLiteral("Temperature 2"), tenths(c.ldTemp2)},
        {QStringLiteral("Maximum DAC"), QString::number(c.maxDac)},
        {QStringLiteral("MCU temperature"), tenths(c.mcuTemp)},
        {QStringLiteral("Ambient temperature"), tenths(c.envTemp)},
        {QStringLiteral("Laser type"), typeText(c.ldType)},
        // The six lamps of the window, as words. The link lamp is green
        // here: this status came in a valid reply.
        {QStringLiteral("Laser"), (c.ldStatBits & 0x01) ? QStringLiteral("on") : QStringLiteral("off")},
        {QStringLiteral("Link"), QStringLiteral("ok")},
        {QStringLiteral("Temperature alarm"), alarmWord(c.alarmBits & 0x01)},
        {QStringLiteral("Fan 1 alarm"), alarmWord(c.alarmBits & 0x02)},
        {QStringLiteral("Fan 2 alarm"), alarmWord(c.alarmBits & 0x04)},
        {QStringLiteral("Fan 3 alarm"), alarmWord(c.alarmBits & 0x08)},
    };
    QStringList out;
    for (const auto &row : rows)
        out.append(QStringLiteral("%1 %2").arg(row.first + QLatin1Char(':'), -22).arg(row.second));
    return out;
}

QString compactLine(const QDateTime &time, const DevStatusCache &c)
{
    QString alarms;
    if (c.alarmBits & 0x01)
        alarms += QStringLiteral(" TEMP-ALARM");
    for (int fan = 0; fan < 3; ++fan)
        if (c.alarmBits & (0x02 << fan))
            alarms += QStringLiteral(" FAN%1-ALARM").arg(fan + 1);
    return QStringLiteral("%1 laser %2 power %3 ld %4 t2 %5 tec %6 ld-cur %7 fans %8/%9/%10 rpm%11")
        .arg(StatusRecord::timestamp(time), (c.ldStatBits & 0x01) ? QStringLiteral("on") : QStringLiteral("off"))
        .arg(c.powerPercent)
        .arg(tenths(c.ldTemp), tenths(c.ldTemp2), amps(c.tecCurrentMa), amps(c.ldCurrent))
        .arg(c.fanSpeed1)
        .arg(c.fanSpeed2)
        .arg(c.fanSpeed3)
        .arg(alarms.isEmpty() ? QStringLiteral(" ok") : alarms);
}

QString lostLine(const QDateTime &time)
{
    return StatusRecord::timestamp(time) + QStringLiteral(" lost: no valid reply");
}

} // namespace StatusText
