#ifndef KORVEX_STATION_H
#define KORVEX_STATION_H

#include "Measurement.h"
#include "RecordStore.h"
#include "TestPlan.h"
#include "UnitRun.h"

#include <QMutex>
#include <QObject>
#include <QVector>

#include <functional>
#include <memory>

class QThread;
class UnitLink;

// A rack of units tested with one plan at the same time, in one process:
// each unit's run on a thread of its own, so that a unit that fails, hangs
// or vanishes never holds up another. The signals arrive on the thread that
// made the Station (the console's or the window's), with the unit's index.
//
//   Station station(plan, settings, makeLink);
//   station.addUnit("/dev/ttyUSB0"); ...
//   connect(&station, &Station::allFinished, ...);
//   station.start();               // returns at once
//   station.abortAll("SIGTERM");   // every unit stops and is made safe
class Station : public QObject
{
    Q_OBJECT
public:
    // Makes a unit's line; called on the unit's own thread.
    using LinkFactory = std::function<std::unique_ptr<UnitLink>(const QString &port)>;

    Station(const TestPlan &plan, const QString &recordsDir, const UnitRun::Settings &settings, const LinkFactory &links,
            QObject *parent = nullptr);
    ~Station() override;

    void addUnit(const QString &port);
    void setPromptHandler(const UnitRun::PromptHandler &handler) { prompt = handler; }
    void setRecordHook(const UnitRun::RecordHook &hook) { recordHook = hook; }

    // Creates the records folder; false with *error.
    bool prepare(QString *error);
    void start();
    void abortAll(const QString &why);
    bool isFinished() const { return running == 0 && started; }
    // From any thread: abortAll was called.
    bool isAborting();

    int unitCount() const { return ports.size(); }
    QString port(int unit) const { return ports.value(unit); }
    // Valid once unitFinished(unit) has come.
    const RunRecord &record(int unit) const;
    const TestPlan &testPlan() const { return plan; }

signals:
    void identified(int unit, const QString &serial);
    void stepStarted(int unit, int step, const QString &name);
    void measured(int unit, int step, const Measurement &measurement);
    void stepFinished(int unit, int step, Outcome outcome, const QString &reason);
    void unitFinished(int unit, Outcome outcome);
    void allFinished();

private:
    TestPlan plan;
    RecordStore store;
    UnitRun::Settings runSettings;
    LinkFactory makeLink;
    UnitRun::PromptHandler prompt;
    UnitRun::RecordHook recordHook;
    QStringList ports;
    QMutex runsMutex; // runs and abortedWhy, shared with the units' threads
    QVector<UnitRun *> runs;
    QString abortedWhy;
    QVector<QThread *> threads;
    QVector<RunRecord> records;
    int running = 0;
    bool started = false;
};

#endif
