#ifndef KORVEX_PLANFIELDS_H
#define KORVEX_PLANFIELDS_H

#include "DevStatusCache.h"
#include "TestPlan.h"

#include <QStringList>

// The names a plan gives status fields: each field's place in the JSON of
// `status --json` ("laser_temp_c", "alarms.fan2", "fan_rpm[0]" for the first
// element of the fan array) or its CSV column ("alarm_fan2", "fan1_rpm").
namespace PlanFields {

bool resolve(const QString &name, PlanField *field);
// Every JSON name, for messages.
QStringList jsonNames();
// The field's value in its unit (a flag: 1 or 0).
double value(const PlanField &field, const DevStatusCache &cache);
bool isFlag(const PlanField &field);

} // namespace PlanFields

#endif
