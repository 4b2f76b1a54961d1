#ifndef KORVEX_TESTPLAN_H
#define KORVEX_TESTPLAN_H

#include "CommandCatalogue.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// A production test plan as the plan reader leaves it: every name resolved,
// every value checked, every duration in milliseconds. Nothing in it still
// needs checking when a unit is tested.

// A value a field is judged by: limits (either side may be open) and a
// marginal band inside them. A flag is judged by equality (expected).
struct PlanLimit
{
    std::optional<double> min;
    std::optional<double> max;
    std::optional<double> expected; // a flag: 1 or 0; a number: equal (within the band)
    double marginal = 0;            // within this of a limit (inside it) is marginal
    QString text() const;           // "20 .. 30", "<= 12", "== 0"
};

// A status field by its name in `status --json` ("laser_temp_c",
// "fan_rpm[0]", "alarms.fan2") or by its CSV column ("fan1_rpm").
struct PlanField
{
    QString name;    // as the plan wrote it
    int schemaIndex; // into StatusSchema::fields()
    QString unit;    // "°C", "rpm", "A", "" for a flag or a count
};

struct FieldLimit
{
    PlanField field;
    PlanLimit limit;
};

// One write: a catalogue command with its values as sent.
struct PlanWrite
{
    CommandWord word;
    QVector<quint32> values;
    QString what; // "power 640", for the record
};

struct PlanStep
{
    enum class Kind { Check, Set, Wait, Hold, Measure, ThermalStep, Flash, Serial, Prompt };
    enum class Statistic { Value, Mean, Min, Max, Spread, Slope };
    enum class SerialSource { CommandLine, File, Allocate };

    QString name;
    Kind kind = Kind::Check;
    bool continueOnFail = false;
    int line = 0; // where the step starts in the plan, 1-based

    // check
    bool noAlarms = false;          // "alarms: none"
    QStringList absentAlarms;       // alarm fields that must be clear ("alarms.fan2")
    QVector<int> alarmFields;       // their schema indexes
    QStringList firmwareOneOf;      // "1.5"
    QString firmwareAtLeast;
    QVector<qint64> laserTypeOneOf; // codes

    // set / apply
    QVector<PlanWrite> writes;
    QString profilePath;            // apply: the file, as given

    // wait (until/for/timeout), hold (for/limits), measure (field/stat/over/limits)
    QVector<FieldLimit> conditions; // wait: all hold; hold: all checked on every sample
    qint64 forMs = 0;
    qint64 timeoutMs = 0;
    FieldLimit measured;
    Statistic statistic = Statistic::Value;

    // thermal-step: TEC drive counts, times, the guard window on laser_temp_c
    int startDrive = 0;
    int stepDrive = 0;
    qint64 settleMs = 0;
    PlanLimit window;
    QVector<QPair<QString, PlanLimit>> fitLimits; // gain, time_constant, dead_time, fit_quality

    // flash
    QString imagePath;
    QString expectedFirmware;

    // serial
    SerialSource serialSource = SerialSource::CommandLine;
    QString serialFile;
    quint32 serialModel = 0;

    // prompt
    QString instruction;

    static QString kindName(Kind kind);
    static QString statisticName(Statistic statistic);
};

struct TestPlan
{
    QString name;
    QString path;
    QString sha256;          // of the file's bytes, hex
    qint64 timeoutMs = 0;    // 0: none
    int pollMs = 500;
    bool leaveAsIs = false;  // the last step leaves the unit as it is (no safe end after a pass)
    QVector<PlanStep> steps;
};

#endif
