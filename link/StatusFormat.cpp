#include "StatusFormat.h"

#include "StatusSchema.h"

#include "LinkText.h"

namespace StatusFormat {

QString formatSerialNumber(const QByteArray &r)
{
    if (r.size() < 8)
        return QString();
    auto b = [&r](int i) { return quint32(quint8(r.at(i))); };
    const quint32 model = (b(0) << 16) | (b(1) << 8) | b(2);
    const quint32 number = (b(6) << 8) | b(7);
    return QString::number(model) + QLatin1Char('-') + QString::number(2000 + b(3))
        + QStringLiteral("%1").arg(b(4), 2, 10, QLatin1Char('0'))
        + QStringLiteral("%1").arg(b(5), 2, 10, QLatin1Char('0'))
        + QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0'));
}

QString laserTypeText(quint32 type)
{
    const char *name = StatusSchema::laserTypeName(type);
    return LinkText::tr(name ? name : "UnKnown!");
}

namespace {
QString fieldText(const StatusSchema::Field &f, const DevStatusCache &c)
{
    QString first = StatusSchema::plainText(f, c);
    QString second;
    if (f.kind == StatusSchema::Kind::Number && f.divisor != 1)
        first = QString::number(StatusSchema::value(f, c), 'f', f.display.decimals);
    else if (f.kind == StatusSchema::Kind::RunTime)
        second = QString::number(StatusSchema::raw(f, c) / 3600);
    else if (f.kind == StatusSchema::Kind::LaserType)
        first = laserTypeText(quint32(StatusSchema::raw(f, c)));
    return LinkText::tr(f.display.format).replace(QLatin1String("%1"), first).replace(QLatin1String("%2"), second);
}
} // namespace

QVector<QPair<QString, QString>> fieldTexts(const DevStatusCache &c)
{
    QVector<QPair<QString, QString>> texts;
    for (const StatusSchema::Field *f : StatusSchema::displayOrder())
        if (f->display.bit)
            texts.append({QLatin1String(f->display.object), fieldText(*f, c)});
    return texts;
}

QVector<QPair<QString, QString>> shownFieldTexts(const DevStatusCache &c)
{
    QVector<QPair<QString, QString>> fields = fieldTexts(c);
    for (int i = 0; i < fields.size(); ++i)
        if (!(c.reportedFields & (1u << i)))
            fields[i].second.clear();
    return fields;
}

QVector<QPair<QString, bool>> lampStates(const DevStatusCache &c)
{
    // The laser lamp is green for "on"; for the others green means no fault.
    QVector<QPair<QString, bool>> lamps{{QStringLiteral("label_LdOnOffStat"), c.ldOn},
                                        {QStringLiteral("CommStat"), !c.commError}};
    for (const StatusSchema::Alarm &alarm : StatusSchema::alarms())
        lamps.append({QLatin1String(alarm.lamp), !(c.alarmBits & alarm.bit)});
    return lamps;
}

} // namespace StatusFormat
