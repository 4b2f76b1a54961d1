#include "TestPlan.h"

QString PlanStep::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Check: return QStringLiteral("check");
    case Kind::Set: return QStringLiteral("set");
    case Kind::Wait: return QStringLiteral("wait");
    case Kind::Hold: return QStringLiteral("hold");
    case Kind::Measure: return QStringLiteral("measure");
    case Kind::ThermalStep: return QStringLiteral("thermal-step");
    case Kind::Flash: return QStringLiteral("flash");
    case Kind::Serial: return QStringLiteral("serial");
    case Kind::Prompt: return QStringLiteral("prompt");
    }
    return QString();
}

QString PlanStep::statisticName(Statistic statistic)
{
    switch (statistic) {
    case Statistic::Value: return QStringLiteral("value");
    case Statistic::Mean: return QStringLiteral("mean");
    case Statistic::Min: return QStringLiteral("min");
    case Statistic::Max: return QStringLiteral("max");
    case Statistic::Spread: return QStringLiteral("spread");
    case Statistic::Slope: return QStringLiteral("slope");
    }
    return QString();
}
