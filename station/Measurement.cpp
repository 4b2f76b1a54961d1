#include "Measurement.h"

#include "MeasuredText.h"

#include <QLocale>

#include <cmath>

namespace {

QString number(double v)
{
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

} // namespace

QString PlanLimit::text() const
{
    if (expected)
        return QStringLiteral("== ") + number(*expected);
    if (!min && !max)
        return QStringLiteral("(recorded)");
    if (min && max)
        return number(*min) + QStringLiteral(" .. ") + number(*max);
    return min ? QStringLiteral(">= ") + number(*min) : QStringLiteral("<= ") + number(max.value_or(0));
}

QString outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Pass: return QStringLiteral("pass");
    case Outcome::Marginal: return QStringLiteral("marginal");
    case Outcome::Fail: return QStringLiteral("fail");
    case Outcome::Error: return QStringLiteral("error");
    case Outcome::Aborted: return QStringLiteral("aborted");
    }
    return QString();
}

Outcome worse(Outcome a, Outcome b)
{
    return int(a) > int(b) ? a : b;
}

Outcome judge(const PlanLimit &limit, double value)
{
    if (!std::isfinite(value))
        return Outcome::Fail;
    if (limit.expected) {
        const double off = std::fabs(value - *limit.expected);
        return off <= limit.marginal * 1e-9 + 1e-9 ? Outcome::Pass : off <= limit.marginal ? Outcome::Marginal : Outcome::Fail;
    }
    if ((limit.min && value < *limit.min) || (limit.max && value > *limit.max))
        return Outcome::Fail;
    if ((limit.min && value < *limit.min + limit.marginal) || (limit.max && value > *limit.max - limit.marginal))
        return Outcome::Marginal;
    return Outcome::Pass;
}

Measurement measure(const QString &name, double value, const QString &unit, const PlanLimit &limit)
{
    Measurement m;
    m.name = name;
    m.value = value;
    m.unit = unit;
    m.limit = limit;
    m.outcome = judge(limit, value);
    return m;
}

Measurement textMeasure(const QString &name, const QString &value, const QString &required, bool passed)
{
    Measurement m;
    m.name = name;
    m.value = std::nan("");
    m.textValue = value;
    m.textLimit = required;
    m.outcome = passed ? Outcome::Pass : Outcome::Fail;
    return m;
}

QJsonObject Measurement::toJson() const
{
    if (!textValue.isEmpty() || !textLimit.isEmpty())
        return QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("value"), textValue},
                           {QStringLiteral("unit"), unit}, {QStringLiteral("outcome"), outcomeName(outcome)},
                           {QStringLiteral("limits"), QJsonObject{{QStringLiteral("required"), textLimit}}}};
    QJsonObject o{{QStringLiteral("name"), name},
                  {QStringLiteral("value"), std::isfinite(value) ? QJsonValue(value) : QJsonValue()},
                  {QStringLiteral("unit"), unit},
                  {QStringLiteral("outcome"), outcomeName(outcome)},
                  {QStringLiteral("marginal"), limit.marginal}};
    QJsonObject limits;
    if (limit.min)
        limits.insert(QStringLiteral("min"), *limit.min);
    if (limit.max)
        limits.insert(QStringLiteral("max"), *limit.max);
    if (limit.expected)
        limits.insert(QStringLiteral("expected"), *limit.expected);
    o.insert(QStringLiteral("limits"), limits);
    return o;
}

QString Measurement::failureText() const
{
    if (!textValue.isEmpty() || !textLimit.isEmpty())
        return QStringLiteral("%1 %2, required %3").arg(name, textValue.isEmpty() ? QStringLiteral("(none)") : textValue, textLimit);
    const QString shown = measuredText(value) + (unit.isEmpty() ? QString() : QLatin1Char(' ') + unit);
    return QStringLiteral("%1 %2 %3 %4")
        .arg(name, shown, outcome == Outcome::Marginal ? QStringLiteral("marginal to") : QStringLiteral("outside"),
             limit.text());
}
