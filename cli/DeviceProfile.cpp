#include "DeviceProfile.h"

#include "CommandCatalogue.h"
#include "OneLine.h"
#include "StatusFormat.h"
#include "StatusSchema.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QSet>

namespace {

// The one-value settings, in the order apply writes them: the command that
// writes each and the status field that reports it. The field's key is the
// setting's key in the file and its value on a unit is what save keeps, so a
// profile reads as `status --json` does.
struct Setting
{
    CommandWord word;
    const char *field;
    qint64 (*get)(const DeviceProfile &);
    void (*set)(DeviceProfile &, qint64);
};

const Setting Settings[] = {
    {CommandWord::TempThreshold, "temp_threshold_c", [](const DeviceProfile &p) -> qint64 { return p.thresholdTenths; },
     [](DeviceProfile &p, qint64 v) { p.thresholdTenths = qint16(v); }},
    {CommandWord::Power, "power", [](const DeviceProfile &p) -> qint64 { return p.power; },
     [](DeviceProfile &p, qint64 v) { p.power = quint16(v); }},
    {CommandWord::MaxDacSaved, "max_dac", [](const DeviceProfile &p) -> qint64 { return p.maxDac; },
     [](DeviceProfile &p, qint64 v) { p.maxDac = quint16(v); }},
    {CommandWord::CompensationHours, "compensation_hours", [](const DeviceProfile &p) -> qint64 { return p.compensationHours; },
     [](DeviceProfile &p, qint64 v) { p.compensationHours = quint32(v); }},
    {CommandWord::LaserType, "laser_type", [](const DeviceProfile &p) -> qint64 { return p.laserType; },
     [](DeviceProfile &p, qint64 v) { p.laserType = quint8(v); }},
};

const StatusSchema::Field &fieldOf(const Setting &setting)
{
    const StatusSchema::Field *field = StatusSchema::find(QLatin1String(setting.field));
    Q_ASSERT(field);
    return *field;
}

QString keyOf(const Setting &setting) { return QLatin1String(fieldOf(setting).key); }

const char *const SerialField = "serial_number";
const QStringList PidKeys{"kp", "ki", "kd"};
const QStringList SourceKeys{"firmware", "laser_type", SerialField};

QStringList topKeys()
{
    QStringList keys{"korvex_profile", "pid", SerialField, "serial_record", "source"};
    for (const Setting &setting : Settings)
        keys << keyOf(setting);
    return keys;
}

// A value of a device command, checked by the command catalogue exactly as
// the command line checks the same number typed.
bool deviceValue(const QJsonObject &o, const QString &key, CommandWord word, qint64 *out, QString *error)
{
    const QJsonValue v = o.value(key);
    if (!v.isDouble()) {
        *error = QStringLiteral("\"%1\" is missing or not a number").arg(key);
        return false;
    }
    QString why;
    if (!CommandCatalogue::parseNumber(word, v.toDouble(), out, &why)) {
        *error = QStringLiteral("\"%1\": %2").arg(key, why);
        return false;
    }
    return true;
}

// "line 3, column 14" of a byte offset into the text.
QString placeOf(const QByteArray &text, int offset)
{
    offset = qBound(0, offset, text.size());
    const QByteArray before = text.left(offset);
    const int line = before.count('\n') + 1;
    const int column = offset - (before.lastIndexOf('\n') + 1) + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

bool onlyKnownKeys(const QJsonObject &o, const QStringList &known, const QString &where, QString *error)
{
    for (const QString &key : o.keys()) {
        if (!known.contains(key)) {
            *error = QStringLiteral("unknown key \"%1\"%2").arg(oneLine(key), where);
            return false;
        }
    }
    return true;
}

// QJsonDocument keeps the last of two equal keys without a word; a profile
// that names a value twice is ambiguous and refused. Scans the text for the
// keys of each object; any bytes may come, valid JSON or not. True with
// *key set for the first key given twice (the empty key counts too).
bool repeatedKey(const QByteArray &json, QString *repeated)
{
    QVector<QSet<QString>> objects; // keys seen, per open object
    QVector<bool> isObject;         // per open container
    bool expectKey = false;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (c == '{') {
            isObject.append(true);
            objects.append(QSet<QString>());
            expectKey = true;
        } else if (c == '[') {
            isObject.append(false);
        } else if (c == '}' || c == ']') {
            if (!isObject.isEmpty() && isObject.takeLast())
                objects.removeLast();
            expectKey = false;
        } else if (c == ',') {
            expectKey = !isObject.isEmpty() && isObject.last();
        } else if (c == '"') {
            int end = i + 1;
            while (end < json.size() && json.at(end) != '"')
                end += json.at(end) == '\\' ? 2 : 1;
            if (expectKey) {
                const QString key = QJsonDocument::fromJson("[" + json.mid(i, end - i + 1) + "]").array().at(0).toString();
                if (objects.last().contains(key)) {
                    *repeated = key;
                    return true;
                }
                objects.last().insert(key);
                expectKey = false;
            }
            i = end;
        }
    }
    return false;
}

// The unit a profile came from. What it says is compared with the target
// (--strict), so a source that is not what save writes is refused rather
// than read as "any unit".
bool readSource(const QJsonValue &value, DeviceProfile::Source *source, QString *error)
{
    if (!value.isObject()) {
        *error = QStringLiteral("\"source\" must be an object (firmware, laser_type, serial_number)");
        return false;
    }
    const QJsonObject o = value.toObject();
    if (!onlyKnownKeys(o, SourceKeys, QStringLiteral(" in \"source\""), error))
        return false;
    for (const char *key : {"firmware", "serial_number"}) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isUndefined() && (!v.isString() || v.toString().isEmpty())) {
            *error = QStringLiteral("\"source\": \"%1\" must be a non-empty text").arg(QLatin1String(key));
            return false;
        }
    }
    const QJsonValue type = o.value(QStringLiteral("laser_type"));
    qint64 laserType = -1;
    if (!type.isUndefined()) {
        QString why;
        if (!type.isDouble() || !CommandCatalogue::parseNumber(CommandWord::LaserType, type.toDouble(), &laserType, &why)) {
            *error = QStringLiteral("\"source\": \"laser_type\" must be a laser type%1").arg(why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why));
            return false;
        }
    }
    source->firmware = o.value(QStringLiteral("firmware")).toString();
    source->laserType = int(laserType);
    source->serialNumber = o.value(QStringLiteral("serial_number")).toString();
    return true;
}

} // namespace

DeviceProfile::Source DeviceProfile::sourceOf(const DevStatusCache &s)
{
    Source source;
    source.firmware = StatusSchema::plainText(*StatusSchema::find(QStringLiteral("firmware")), s);
    source.laserType = int(s.ldType);
    source.serialNumber = StatusSchema::plainText(*StatusSchema::find(QLatin1String(SerialField)), s);
    return source;
}

DeviceProfile DeviceProfile::fromDevice(const DevStatusCache &s, const QVector<quint32> &pid, bool withSerial)
{
    DeviceProfile p;
    for (const Setting &setting : Settings)
        setting.set(p, StatusSchema::raw(fieldOf(setting), s));
    p.pidWords = {pid.value(2), pid.value(3), pid.value(4)};
    if (withSerial)
        p.serialRecord = s.serialNum;
    p.source = sourceOf(s);
    return p;
}

QJsonObject DeviceProfile::toJson() const
{
    auto typed = [](CommandWord word, qint64 sent) { return CommandCatalogue::typedValue(word, sent); };
    QJsonObject o{
        {QStringLiteral("korvex_profile"), 1},
        {QStringLiteral("pid"),
         QJsonObject{{QStringLiteral("kp"), typed(CommandWord::PidCoefficients, qint32(pidWords.at(0)))},
                     {QStringLiteral("ki"), typed(CommandWord::PidCoefficients, qint32(pidWords.at(1)))},
                     {QStringLiteral("kd"), typed(CommandWord::PidCoefficients, qint32(pidWords.at(2)))}}},
    };
    for (const Setting &setting : Settings)
        o.insert(keyOf(setting), typed(setting.word, setting.get(*this)));
    if (serialRecord.size() == 8) {
        o.insert(QLatin1String(SerialField), StatusFormat::formatSerialNumber(serialRecord));
        o.insert(QStringLiteral("serial_record"), QString::fromLatin1(serialRecord.toHex()));
    }
    // What is known of the source unit, and only that: an unknown part is
    // left out rather than written as "" or -1, which no reader would take.
    QJsonObject from;
    if (!source.firmware.isEmpty())
        from.insert(QStringLiteral("firmware"), source.firmware);
    if (source.laserType >= 0)
        from.insert(QStringLiteral("laser_type"), source.laserType);
    if (!source.serialNumber.isEmpty())
        from.insert(QStringLiteral("serial_number"), source.serialNumber);
    if (!from.isEmpty())
        o.insert(QStringLiteral("source"), from);
    return o;
}

bool DeviceProfile::fromFile(const QByteArray &bytes, DeviceProfile *profile, QString *error)
{
    // Looked for before Qt reads the file: Qt's JSON reader loses the memory
    // of a key's first value when the key comes again (Qt 5.15).
    QString repeated;
    if (repeatedKey(bytes, &repeated)) {
        *error = QStringLiteral("the key \"%1\" appears twice").arg(oneLine(repeated));
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("not valid JSON: %1 at %2 (byte %3)")
                     .arg(parseError.errorString(), placeOf(bytes, parseError.offset))
                     .arg(parseError.offset);
        return false;
    }
    if (!doc.isObject()) {
        *error = QStringLiteral("holds a JSON %1, not the object of a profile").arg(doc.isArray() ? "array" : "value");
        return false;
    }
    return fromJson(doc.object(), profile, error);
}

bool DeviceProfile::fromJson(const QJsonObject &o, DeviceProfile *p, QString *error)
{
    const QJsonValue version = o.value(QStringLiteral("korvex_profile"));
    if (version.isDouble() && version.toDouble() != 1) {
        *error = QStringLiteral("\"korvex_profile\": version %1 not supported (this korvexctl reads version 1)")
                     .arg(version.toDouble(), 0, 'g', 17);
        return false;
    }
    if (!version.isDouble()) {
        *error = QStringLiteral("not a korvex profile (\"korvex_profile\": 1 missing)");
        return false;
    }
    if (!onlyKnownKeys(o, topKeys(), QString(), error))
        return false;
    qint64 v = 0;
    for (const Setting &setting : Settings) {
        if (!deviceValue(o, keyOf(setting), setting.word, &v, error))
            return false;
        setting.set(*p, v);
    }
    const QJsonObject pid = o.value(QStringLiteral("pid")).toObject();
    if (!onlyKnownKeys(pid, PidKeys, QStringLiteral(" in \"pid\""), error))
        return false;
    for (int i = 0; i < 3; ++i) {
        if (!deviceValue(pid, PidKeys.at(i), CommandWord::PidCoefficients, &v, error)) {
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
    p->source = Source();
    if (o.contains(QStringLiteral("source")))
        return readSource(o.value(QStringLiteral("source")), &p->source, error);
    return true;
}

QVector<DeviceProfile::Write> DeviceProfile::writes() const
{
    QVector<Write> all;
    for (const Setting &setting : Settings)
        all.append({setting.word, {quint32(setting.get(*this))}});
    all.append({CommandWord::PidCoefficients, pidWords.mid(0, 3)});
    return all;
}

QStringList DeviceProfile::differencesFrom(const Source &target, bool serialToo) const
{
    QStringList differences;
    auto compare = [&](const char *what, const QString &profile, const QString &unit) {
        if (!profile.isEmpty() && profile != unit)
            differences << QStringLiteral("%1 %2 (profile: %3)").arg(QLatin1String(what), unit, profile);
    };
    compare("firmware", source.firmware, target.firmware);
    compare("laser type", source.laserType < 0 ? QString() : QString::number(source.laserType),
            QString::number(target.laserType));
    if (serialToo)
        compare("serial number", source.serialNumber, target.serialNumber);
    return differences;
}
