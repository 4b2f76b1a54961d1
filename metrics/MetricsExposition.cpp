#include "MetricsExposition.h"

#include "StatusSchema.h"

#include <QLocale>

#include <cmath>

namespace MetricsExposition {

const char *const ContentType = "text/plain; version=0.0.4; charset=utf-8";

namespace {

using StatusSchema::Field;
using StatusSchema::MetricType;

void family(QByteArray &out, const char *name, const char *type, const char *help)
{
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

QByteArray label(const QByteArray &name, const QString &value)
{
    return name + "=\"" + escapeLabelValue(value).toUtf8() + '"';
}

// port="...",serial="..." of a unit; the serial is empty until it has answered.
QByteArray unitLabels(const UnitMetrics &unit)
{
    static const Field *const serial = StatusSchema::find(QStringLiteral("serial_number"));
    const QString serialText = unit.seen ? StatusSchema::plainText(*serial, unit.last) : QString();
    return label("port", unit.port) + ',' + label("serial", serialText);
}

void line(QByteArray &out, const char *name, const QByteArray &labels, double value)
{
    out += name;
    out += '{';
    out += labels;
    out += "} ";
    out += number(value);
    out += '\n';
}

// The value of an info label: the text the status record gives, the laser
// type by its name (its code when the device sent one it does not define).
QString infoValue(const Field &field, const DevStatusCache &cache)
{
    if (field.kind == StatusSchema::Kind::LaserType) {
        const qint64 code = StatusSchema::raw(field, cache);
        const char *name = StatusSchema::laserTypeName(code);
        return name ? QString::fromLatin1(name) : QString::number(code);
    }
    return StatusSchema::plainText(field, cache);
}

double metricValue(const Field &field, const DevStatusCache &cache)
{
    const double v = StatusSchema::value(field, cache);
    // A scale below 1 divides, so that 523 per mille is exactly 0.523.
    const double scale = field.metric.scale;
    return scale >= 1 ? v * scale : v / std::round(1 / scale);
}

// The extra label of a field ("fan=1" gives fan="1"), then the unit's.
QByteArray fieldLabels(const Field &field, const QByteArray &unit)
{
    if (!field.metric.label)
        return unit;
    const QByteArray labelText(field.metric.label);
    const int eq = labelText.indexOf('=');
    return unit + ',' + label(labelText.left(eq), QString::fromUtf8(labelText.mid(eq + 1)));
}

void writeUnitInfo(QByteArray &out, const QVector<UnitMetrics> &units, const QVector<QByteArray> &labels)
{
    family(out, "korvex_unit_info", "gauge", "The unit's identity in its labels; always 1");
    for (int i = 0; i < units.size(); ++i) {
        if (!units[i].seen)
            continue;
        QByteArray infoLabels = labels[i];
        for (const Field &f : StatusSchema::fields()) {
            if (f.metric.type == MetricType::InfoLabel && qstrcmp(f.metric.name, "serial") != 0)
                infoLabels += ',' + label(f.metric.name, infoValue(f, units[i].last));
        }
        line(out, "korvex_unit_info", infoLabels, 1);
    }
}

void writeFieldFamilies(QByteArray &out, const QVector<UnitMetrics> &units, const QVector<QByteArray> &labels)
{
    const QVector<Field> &fields = StatusSchema::fields();
    for (int first = 0; first < fields.size(); ++first) {
        const Field &head = fields[first];
        if (head.metric.type == MetricType::InfoLabel || !head.metric.help)
            continue;
        family(out, head.metric.name, head.metric.type == MetricType::Counter ? "counter" : "gauge", head.metric.help);
        for (int u = 0; u < units.size(); ++u) {
            if (!units[u].seen)
                continue;
            // Every field of this series, wherever it stands in the table.
            for (int i = first; i < fields.size(); ++i) {
                if (qstrcmp(fields[i].metric.name, head.metric.name) == 0)
                    line(out, head.metric.name, fieldLabels(fields[i], labels[u]), metricValue(fields[i], units[u].last));
            }
        }
    }
}

} // namespace

QString escapeLabelValue(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            escaped += QLatin1String("\\\\");
        else if (c == QLatin1Char('"'))
            escaped += QLatin1String("\\\"");
        else if (c == QLatin1Char('\n'))
            escaped += QLatin1String("\\n");
        else
            escaped += c;
    }
    return escaped;
}

QByteArray number(double value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "+Inf" : "-Inf";
    if (value == std::trunc(value) && std::fabs(value) < 9007199254740992.0)
        return QByteArray::number(qint64(value));
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

QByteArray text(const QVector<UnitMetrics> &units)
{
    QVector<QByteArray> labels;
    labels.reserve(units.size());
    for (const UnitMetrics &u : units)
        labels.append(unitLabels(u));

    QByteArray out;
    out.reserve(256 + units.size() * 2500);
    family(out, "korvex_up", "gauge", "1 while the unit's last poll was answered");
    for (int i = 0; i < units.size(); ++i)
        line(out, "korvex_up", labels[i], units[i].up ? 1 : 0);
    family(out, "korvex_polls_total", "counter", "Polls of the unit's status");
    for (int i = 0; i < units.size(); ++i)
        if (units[i].seen)
            line(out, "korvex_polls_total", labels[i], double(units[i].polls));
    family(out, "korvex_lost_polls_total", "counter", "Polls that got no valid reply");
    for (int i = 0; i < units.size(); ++i)
        if (units[i].seen)
            line(out, "korvex_lost_polls_total", labels[i], double(units[i].lostPolls));
    family(out, "korvex_last_sample_timestamp_seconds", "gauge", "When the last answered sample was asked for (Unix time)");
    for (int i = 0; i < units.size(); ++i)
        if (units[i].seen)
            line(out, "korvex_last_sample_timestamp_seconds", labels[i],
                 double(units[i].lastSampleTime.toMSecsSinceEpoch()) / 1000.0);
    writeUnitInfo(out, units, labels);
    writeFieldFamilies(out, units, labels);
    return out;
}

} // namespace MetricsExposition
