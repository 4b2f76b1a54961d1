#include "PlanFields.h"

#include "StatusSchema.h"

namespace PlanFields {

namespace {

// "fan_rpm[]" -> "fan_rpm[0]", "fan_rpm[1]" ... in the schema's order.
QString jsonName(int index)
{
    const QVector<StatusSchema::Field> &all = StatusSchema::fields();
    const StatusSchema::Field &f = all[index];
    const QString place = QLatin1String(f.json ? f.json : f.key);
    if (!place.endsWith(QLatin1String("[]")))
        return place;
    int element = 0;
    for (int i = 0; i < index; ++i)
        if (all[i].json && place == QLatin1String(all[i].json))
            ++element;
    return place.chopped(2) + QStringLiteral("[%1]").arg(element);
}

// The unit the terminal text writes after the value: "%1 °C" -> "°C".
QString unitOf(const StatusSchema::Field &f)
{
    if (f.kind != StatusSchema::Kind::Number && f.kind != StatusSchema::Kind::RunTime)
        return QString();
    const QString format = QString::fromUtf8(f.terminal.format);
    if (!format.startsWith(QLatin1String("%1 ")))
        return QString();
    return format.mid(3).section(QLatin1Char(' '), 0, 0);
}

} // namespace

bool resolve(const QString &name, PlanField *field)
{
    const QVector<StatusSchema::Field> &all = StatusSchema::fields();
    for (int i = 0; i < all.size(); ++i) {
        if (name == jsonName(i) || name == QLatin1String(all[i].key)) {
            *field = PlanField{name, i, unitOf(all[i])};
            return true;
        }
    }
    return false;
}

QStringList jsonNames()
{
    QStringList names;
    for (int i = 0; i < StatusSchema::fields().size(); ++i)
        names.append(jsonName(i));
    return names;
}

double value(const PlanField &field, const DevStatusCache &cache)
{
    return StatusSchema::value(StatusSchema::fields()[field.schemaIndex], cache);
}

bool isFlag(const PlanField &field)
{
    return StatusSchema::fields()[field.schemaIndex].kind == StatusSchema::Kind::Flag;
}

} // namespace PlanFields
