#ifndef KORVEX_UNITRUN_H
#define KORVEX_UNITRUN_H

#include "DevStatusCache.h"
#include "PolledSample.h"
#include "RunRecord.h"
#include "TestPlan.h"
#include "ThermalFit.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMutex>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class SampleHub;
class RecordStore;
class UnitLink;

// One unit's test: runs a plan's steps in order on one unit and keeps its
// record. run() blocks its thread from the first status read to the last
// record file; a rack runs one UnitRun per unit, each on a thread of its
// own (Station), so a unit that hangs holds up nobody else.
//
// Whatever ends the run (its end, a failed step, a signal, the plan's
// timeout, the port gone, an alarm) it ends with the laser off and the TEC
// and fans automatic, confirmed by a status read, all of it in the record.
//
// The signals come from the run's thread; connect with a context object on
// another thread to have them queued there.
class UnitRun : public QObject
{
    Q_OBJECT
public:
    struct Settings {
        QString station;
        QString operatorName;
        QString serial;        // for a serial step taking it from the command line
        QString korvexVersion;
    };

    // Asks the operator to do or look at something; true for pass, false
    // for fail (with *note). Runs on the run's thread and may block. Without
    // one, a prompt step ends in error: nobody is there to answer.
    using PromptHandler = std::function<bool(const QString &port, const QString &instruction, QString *note)>;
    // Writes more files into the record folder before it is moved into
    // place (a certificate); false with *error makes the run's record fail.
    using RecordHook = std::function<bool(const RunRecord &record, const QString &folder, QString *error)>;

    UnitRun(const TestPlan &plan, const QString &port, std::unique_ptr<UnitLink> link, RecordStore *store,
            const Settings &settings, QObject *parent = nullptr);
    ~UnitRun() override;

    void setPromptHandler(const PromptHandler &handler) { prompt = handler; }
    void setRecordHook(const RecordHook &hook) { recordHook = hook; }

    // Runs the whole test; returns the unit's outcome.
    Outcome run();
    // From any thread: the run stops at its next poll or step (outcome
    // aborted) and then makes the unit safe.
    void abort(const QString &why);

    // Valid once run() has returned (before: read only on the run's thread).
    const RunRecord &record() const { return runRecord; }
    QString port() const { return portName; }

signals:
    void identified(const QString &serial);
    void stepStarted(int index, const QString &name);
    void measured(int index, const Measurement &measurement);
    void stepFinished(int index, Outcome outcome, const QString &reason);
    void sampled(const PolledSample &sample);
    void finished(Outcome outcome);

private:
    struct StepResult {
        Outcome outcome = Outcome::Pass;
        QString reason;
        void fail(Outcome o, const QString &why);
    };

    StepResult runStep(const PlanStep &step, StepRecord &record);
    StepResult checkStep(const PlanStep &step, StepRecord &record);
    StepResult setStep(const PlanStep &step);
    StepResult waitStep(const PlanStep &step, StepRecord &record);
    StepResult holdStep(const PlanStep &step, StepRecord &record);
    StepResult measureStep(const PlanStep &step, StepRecord &record);
    StepResult thermalStep(const PlanStep &step, StepRecord &record);
    StepResult thermalSeries(const PlanStep &step, QVector<ThermalFit::Point> &points, qint64 stepAtMs);
    StepResult flashStep(const PlanStep &step, StepRecord &record);
    StepResult serialStep(const PlanStep &step, StepRecord &record);
    StepResult promptStep(const PlanStep &step, StepRecord &record);

    static constexpr int LostPollsForError = 3;
    // One status read at the next poll time: the sample goes through the hub
    // to samples.csv
    // and the signal. Error/aborted when it cannot be had.
    StepResult poll(DevStatusCache *cache);
    StepResult readNow(DevStatusCache *cache);
    // Hands a poll to the run's sample hub.
    void deliver(const QDateTime &time, bool answered, const DevStatusCache &cache);
    StepResult writeOne(const PlanWrite &write);
    // An alarm that a step does not judge itself ends the step.
    StepResult alarmsOf(const DevStatusCache &cache, const QVector<FieldLimit> &judged = {}) const;
    bool sleepUntil(qint64 elapsedMs);
    StepResult stopped() const; // aborted, or the plan's time is up
    qint64 elapsed() const { return clock.elapsed(); }
    void makeSafe();
    void writeRecord();
    void appendMeasurement(int index, StepRecord &record, const Measurement &m, StepResult &result);

    TestPlan plan;
    QString portName;
    std::unique_ptr<UnitLink> link;
    RecordStore *store;
    Settings runSettings;
    PromptHandler prompt;
    RecordHook recordHook;
    RunRecord runRecord;
    QString runFolder;
    std::unique_ptr<SampleHub> hub; // samples.csv and the sampled signal
    QString samplesError;
    QElapsedTimer clock;
    qint64 nextPollMs = 0;
    int currentStep = -1;
    std::atomic<bool> abortRequested{false};
    mutable QMutex abortMutex;
    QString abortReason;
};

#endif
