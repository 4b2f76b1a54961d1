#include "StatusText.h"

#include "StatusRecord.h"
#include "StatusSchema.h"

namespace StatusText {

namespace {

QString line(const QString &label, const QString &value)
{
    return QStringLiteral("%1 %2").arg(label + QLatin1Char(':'), -22).arg(value);
}

QString valueText(const StatusSchema::Field &f, const DevStatusCache &c)
{
    const QString format = QString::fromUtf8(f.terminal.format);
    const qint64 raw = StatusSchema::raw(f, c);
    QString first = StatusSchema::plainText(f, c);
    QString second;
    switch (f.kind) {
    case StatusSchema::Kind::Flag:
        return format.section(QLatin1Char('|'), raw ? 0 : 1, raw ? 0 : 1);
    case StatusSchema::Kind::Number:
        if (f.divisor != 1)
            first = QString::number(StatusSchema::value(f, c), 'f', f.terminal.decimals);
        break;
    case StatusSchema::Kind::RunTime:
        second = QString::number(raw / 3600);
        break;
    case StatusSchema::Kind::LaserType: {
        const char *name = StatusSchema::laserTypeName(raw);
        second = first;
        first = QLatin1String(name ? name : "unknown");
        break;
    }
    default:
        break;
    }
    return QString(format).replace(QLatin1String("%1"), first).replace(QLatin1String("%2"), second);
}

QString valueText(const char *key, const DevStatusCache &c)
{
    return valueText(*StatusSchema::find(QLatin1String(key)), c);
}

} // namespace

QStringList lines(const DevStatusCache &c)
{
    QStringList out;
    for (const StatusSchema::Field *f : StatusSchema::displayOrder()) {
        out.append(line(QLatin1String(f->terminal.label), valueText(*f, c)));
        // The lamps follow the values; the link lamp, after the laser's, is
        // green here: this status came in a valid reply.
        if (f->key == QLatin1String("laser_on"))
            out.append(line(QStringLiteral("Link"), QStringLiteral("ok")));
    }
    return out;
}

QString compactLine(const QDateTime &time, const DevStatusCache &c)
{
    QString alarms;
    for (const StatusSchema::Alarm &alarm : StatusSchema::alarms())
        if (c.alarmBits & alarm.bit)
            alarms += QLatin1Char(' ') + QLatin1String(alarm.word);
    return QStringLiteral("%1 laser %2 power %3 ld %4 t2 %5 tec %6 ld-cur %7 fans %8/%9/%10 rpm%11")
        .arg(StatusRecord::timestamp(time), valueText("laser_on", c))
        .arg(c.powerPercent)
        .arg(valueText("laser_temp_c", c), valueText("temp2_c", c), valueText("tec_current_a", c),
             valueText("laser_current_a", c))
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
