#include "StatusRecord.h"

#include "StatusSchema.h"

#include <QJsonArray>

namespace StatusRecord {

namespace {

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QJsonValue jsonValue(const StatusSchema::Field &f, const DevStatusCache &c)
{
    switch (f.kind) {
    case StatusSchema::Kind::Flag:
        return bool(StatusSchema::raw(f, c));
    case StatusSchema::Kind::Firmware:
    case StatusSchema::Kind::SerialRecord:
        return StatusSchema::plainText(f, c);
    default:
        return StatusSchema::value(f, c);
    }
}

// Where a field goes in the JSON object: under `key` itself, as `member` of
// the object there, or as the next element of the array there.
struct JsonPlace
{
    QString key;
    QString member;
    bool element;
};

JsonPlace jsonPlace(const StatusSchema::Field &f)
{
    const QString place = QLatin1String(f.json ? f.json : f.key);
    if (place.endsWith(QLatin1String("[]")))
        return {place.chopped(2), QString(), true};
    return {place.section(QLatin1Char('.'), 0, 0), place.section(QLatin1Char('.'), 1), false};
}

} // namespace

QJsonObject statusJson(const DevStatusCache &c)
{
    QJsonObject o;
    for (const StatusSchema::Field &f : StatusSchema::fields()) {
        const JsonPlace p = jsonPlace(f);
        const QJsonValue v = jsonValue(f, c);
        if (p.element) {
            QJsonArray list = o.value(p.key).toArray();
            list.append(v);
            o.insert(p.key, list);
        } else if (!p.member.isEmpty()) {
            QJsonObject members = o.value(p.key).toObject();
            members.insert(p.member, v);
            o.insert(p.key, members);
        } else {
            o.insert(p.key, v);
        }
    }
    return o;
}

QString jsonKeysText()
{
    QStringList keys;
    QVector<QStringList> members;
    for (const StatusSchema::Field &f : StatusSchema::fields()) {
        const JsonPlace p = jsonPlace(f);
        if (!keys.contains(p.key)) {
            keys.append(p.key);
            members.append(QStringList());
        }
        if (p.element || !p.member.isEmpty())
            members[keys.indexOf(p.key)].append(p.member);
    }
    for (int i = 0; i < keys.size(); ++i) {
        if (members[i].isEmpty())
            continue;
        keys[i] += members[i].first().isEmpty() ? QStringLiteral("[%1]").arg(members[i].size())
                                                : QLatin1Char('{') + members[i].join(QLatin1Char(',')) + QLatin1Char('}');
    }
    return keys.join(QStringLiteral(", "));
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
    QStringList header{QStringLiteral("time")};
    for (const StatusSchema::Field &f : StatusSchema::fields())
        header.append(QLatin1String(f.key));
    return header;
}

QStringList csvValues(const QDateTime &time, const DevStatusCache &c)
{
    QStringList values{timestamp(time)};
    for (const StatusSchema::Field &f : StatusSchema::fields())
        values.append(StatusSchema::plainText(f, c));
    return values;
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
