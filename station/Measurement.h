#ifndef KORVEX_MEASUREMENT_H
#define KORVEX_MEASUREMENT_H

#include "TestPlan.h"

#include <QJsonObject>
#include <QString>

// What a step, a unit run or a measurement came to. Marginal is inside the
// limits but within the marginal band of one; error is the unit or the line
// not answering (nothing was judged); aborted is a run stopped from outside
// (a signal, the plan's timeout) or a step not reached.
enum class Outcome { Pass, Marginal, Fail, Error, Aborted };

QString outcomeName(Outcome outcome);
// The worse of two: aborted > error > fail > marginal > pass.
Outcome worse(Outcome a, Outcome b);

// One judged value: the record keeps each with its limits.
struct Measurement
{
    QString name;  // "laser_temp_c mean", "gain"
    double value = 0;
    QString unit;
    PlanLimit limit;
    Outcome outcome = Outcome::Pass;
    // A value that is not a number (a firmware version) and what it had to be.
    QString textValue;
    QString textLimit;

    QJsonObject toJson() const;
    // "laser_temp_c mean 31.2 °C outside <= 30"
    QString failureText() const;
};

Outcome judge(const PlanLimit &limit, double value);
Measurement measure(const QString &name, double value, const QString &unit, const PlanLimit &limit);
Measurement textMeasure(const QString &name, const QString &value, const QString &required, bool passed);

#endif
