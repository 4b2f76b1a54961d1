#ifndef KORVEX_RUNRECORD_H
#define KORVEX_RUNRECORD_H

#include "Measurement.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QVector>

// What one unit's test run did: the unit, where and by whom it was tested,
// with which plan, every step with its measurements and timing, and the state
// the unit was left in. It becomes record.json, junit.xml and a row of
// results.csv.
struct StepRecord
{
    QString name;
    QString kind;
    Outcome outcome = Outcome::Aborted; // a step not reached stays aborted
    bool reached = false;
    QString reason;       // why it did not pass, in one line
    QDateTime start;
    qint64 durationMs = 0;
    QVector<Measurement> measurements;
    QJsonObject toJson() const;
};

// How the unit was left: laser off and TEC and fans automatic, unless the
// plan's last step said otherwise.
struct EndState
{
    bool applied = false;        // the laser-off / automatic writes were sent
    bool writesAccepted = false; // the unit accepted all of them
    bool confirmed = false;      // a status read after them showed the laser off
    bool laserOn = false;        // as that read showed it
    QString note;                // what went wrong, or "left as the plan's last step set it"
    QJsonObject toJson() const;
};

struct RunRecord
{
    QString port;
    QString serial;           // as the unit reports it ("25001-202407090001"); empty if it never answered
    QString laserType;
    QString firmwareBefore;
    QString firmwareAfter;
    QString station;
    QString operatorName;
    QString planName;
    QString planPath;
    QString planSha256;
    QString korvexVersion;
    QDateTime start;          // UTC
    QDateTime end;
    Outcome outcome = Outcome::Aborted;
    QString reason;           // of the first step that did not pass, or of the run
    QString failedStep;
    EndState endState;
    QVector<StepRecord> steps;
    QString folder;           // where the record went, once written

    qint64 durationMs() const { return start.msecsTo(end); }
    QJsonObject toJson() const;
    // The short form `test --json` prints per unit.
    QJsonObject summaryJson() const;
    QByteArray toJunitXml() const;
    // The row of results.csv, in the order of resultsHeader().
    QStringList resultsRow() const;
    static QStringList resultsHeader();
};

#endif
