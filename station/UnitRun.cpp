#include "UnitRun.h"

#include "CommandCatalogue.h"
#include "ExitCode.h"
#include "RecordStore.h"
#include "StatusFormat.h"
#include "StatusSchema.h"
#include "UnitLink.h"
#include "SampleHub.h"
#include "WatchOutput.h"

#include <QJsonDocument>
#include <QThread>

#include <algorithm>

Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(Measurement)
Q_DECLARE_METATYPE(DevStatusCache)

namespace {

// How long a stopped run waits between two looks at the clock and the flag.
constexpr int SleepSliceMs = 20;

QString firmwareText(const DevStatusCache &c)
{
    return QStringLiteral("%1.%2").arg(c.fwMajor).arg(c.fwMinor);
}

} // namespace

void UnitRun::StepResult::fail(Outcome o, const QString &why)
{
    if (int(o) > int(outcome) || reason.isEmpty()) {
        if (int(o) >= int(outcome))
            reason = why;
        outcome = worse(outcome, o);
    }
}

UnitRun::UnitRun(const TestPlan &testPlan, const QString &port, std::unique_ptr<UnitLink> unitLink, RecordStore *records,
                 const Settings &settings, QObject *parent)
    : QObject(parent), plan(testPlan), portName(port), link(std::move(unitLink)), store(records), runSettings(settings)
{
    qRegisterMetaType<Outcome>();
    qRegisterMetaType<Measurement>();
    qRegisterMetaType<DevStatusCache>();
    qRegisterMetaType<PolledSample>();
}

UnitRun::~UnitRun() = default;

void UnitRun::abort(const QString &why)
{
    QMutexLocker lock(&abortMutex);
    if (!abortRequested.exchange(true))
        abortReason = why;
}

UnitRun::StepResult UnitRun::stopped() const
{
    StepResult r;
    if (abortRequested.load()) {
        QMutexLocker lock(&abortMutex);
        r.fail(Outcome::Aborted, abortReason);
    } else if (plan.timeoutMs > 0 && elapsed() >= plan.timeoutMs) {
        r.fail(Outcome::Aborted, QStringLiteral("the plan's timeout of %1 s ran out").arg(plan.timeoutMs / 1000.0));
    }
    return r;
}

bool UnitRun::sleepUntil(qint64 elapsedMs)
{
    while (elapsed() < elapsedMs) {
        if (stopped().outcome != Outcome::Pass)
            return false;
        QThread::msleep(quint32(qMin<qint64>(SleepSliceMs, elapsedMs - elapsed())));
    }
    return stopped().outcome == Outcome::Pass;
}

UnitRun::StepResult UnitRun::readNow(DevStatusCache *cache)
{
    StepResult r = stopped();
    if (r.outcome != Outcome::Pass)
        return r;
    const QDateTime time = QDateTime::currentDateTimeUtc();
    const bool answered = link->readStatus(*cache) == ExitCode::Done;
    deliver(time, answered, *cache);
    if (!answered)
        r.fail(Outcome::Error, QStringLiteral("the unit did not answer: %1").arg(link->errorText()));
    return r;
}

void UnitRun::deliver(const QDateTime &time, bool answered, const DevStatusCache &cache)
{
    if (!hub)
        return;
    PolledSample sample;
    sample.time = time;
    sample.port = portName;
    sample.serial = runRecord.serial;
    sample.answered = answered;
    sample.portOpen = answered;
    if (answered)
        sample.status = cache;
    hub->deliver(sample);
}

UnitRun::StepResult UnitRun::poll(DevStatusCache *cache)
{
    // A lost sample or two (a noisy line, a loaded host) is a lost row in
    // samples.csv; a unit that misses LostPollsForError polls in a row has
    // stopped answering.
    StepResult r;
    for (int lostInRow = 0; lostInRow < LostPollsForError; ++lostInRow) {
        // Polls keep to the plan's rate however long a reply took.
        const qint64 due = qMax(nextPollMs, elapsed());
        nextPollMs = due + plan.pollMs;
        if (!sleepUntil(due))
            return stopped();
        r = readNow(cache);
        if (r.outcome != Outcome::Error)
            return r;
    }
    return r;
}

UnitRun::StepResult UnitRun::writeOne(const PlanWrite &write)
{
    StepResult r = stopped();
    if (r.outcome != Outcome::Pass)
        return r;
    const int code = link->write(write);
    if (code == ExitCode::Failed)
        r.fail(Outcome::Fail, QStringLiteral("%1: refused by the unit").arg(write.what));
    else if (code != ExitCode::Done)
        r.fail(Outcome::Error, QStringLiteral("%1: %2").arg(write.what, link->errorText()));
    return r;
}

UnitRun::StepResult UnitRun::alarmsOf(const DevStatusCache &cache, const QVector<FieldLimit> &judged) const
{
    StepResult r;
    QStringList set;
    const QVector<StatusSchema::Field> &fields = StatusSchema::fields();
    for (int i = 0; i < fields.size(); ++i) {
        const StatusSchema::Field &f = fields[i];
        const bool byStep = std::any_of(judged.begin(), judged.end(), [i](const FieldLimit &l) { return l.field.schemaIndex == i; });
        if (f.kind == StatusSchema::Kind::Flag && f.json && QByteArray(f.json).startsWith("alarms.") && !byStep
            && StatusSchema::raw(f, cache))
            set.append(QString::fromLatin1(f.json));
    }
    if (!set.isEmpty())
        r.fail(Outcome::Fail, QStringLiteral("alarm %1 at %2 s").arg(set.join(QStringLiteral(", "))).arg(elapsed() / 1000.0));
    return r;
}

void UnitRun::appendMeasurement(int index, StepRecord &record, const Measurement &m, StepResult &result)
{
    record.measurements.append(m);
    emit measured(index, m);
    if (m.outcome != Outcome::Pass)
        result.fail(m.outcome, m.failureText());
}

Outcome UnitRun::run()
{
    clock.start();
    runRecord.port = portName;
    runRecord.station = runSettings.station;
    runRecord.operatorName = runSettings.operatorName;
    runRecord.planName = plan.name;
    runRecord.planPath = plan.path;
    runRecord.planSha256 = plan.sha256;
    runRecord.korvexVersion = runSettings.korvexVersion;
    runRecord.start = QDateTime::currentDateTimeUtc();
    for (const PlanStep &s : plan.steps)
        {
        StepRecord step;
        step.name = s.name;
        step.kind = PlanStep::kindName(s.kind);
        runRecord.steps.append(step);
    }

    QString error;
    runFolder = store->startRun(&error);
    if (!runFolder.isEmpty()) {
        // Every sample of the run leaves through the hub, as every watch's does.
        auto csv = std::make_unique<CsvWatchOutput>();
        if (csv->open(runFolder + QStringLiteral("/samples.csv"), WatchTextFile::Existing::Refuse, &error)) {
            hub = std::make_unique<SampleHub>();
            hub->addOutput(std::move(csv));
            connect(hub.get(), &SampleHub::sampled, this, &UnitRun::sampled);
            connect(hub.get(), &SampleHub::outputFailed, this,
                    [this](const QString &, const QString &why) { samplesError = why; });
        }
    }
    StepResult runResult;
    if (!hub) {
        runResult.fail(Outcome::Error, QStringLiteral("records: %1").arg(error));
    } else if (link->open() != ExitCode::Done) {
        runResult.fail(Outcome::Error, link->errorText());
    } else {
        DevStatusCache unit;
        runResult = readNow(&unit);
        if (runResult.outcome == Outcome::Pass) {
            runRecord.serial = StatusFormat::formatSerialNumber(unit.serialNum);
            runRecord.laserType = StatusFormat::laserTypeText(unit.ldType);
            runRecord.firmwareBefore = firmwareText(unit);
            emit identified(runRecord.serial);
        }
    }

    // A step allowed to fail lets the test go on; the unit's outcome is the
    // worst of its steps all the same.
    Outcome outcome = runResult.outcome;
    runRecord.reason = runResult.reason;
    bool stop = outcome != Outcome::Pass;
    for (int i = 0; i < plan.steps.size() && !stop; ++i) {
        currentStep = i;
        StepRecord &record = runRecord.steps[i];
        record.reached = true;
        record.start = QDateTime::currentDateTimeUtc();
        const qint64 startMs = elapsed();
        emit stepStarted(i, plan.steps[i].name);
        StepResult r = stopped();
        if (r.outcome == Outcome::Pass)
            r = runStep(plan.steps[i], record);
        record.outcome = r.outcome;
        record.reason = r.reason;
        record.durationMs = elapsed() - startMs;
        emit stepFinished(i, r.outcome, r.reason);
        outcome = worse(outcome, r.outcome);
        if (int(r.outcome) >= int(Outcome::Fail) && runRecord.failedStep.isEmpty()) {
            runRecord.failedStep = plan.steps[i].name;
            runRecord.reason = r.reason;
        } else if (r.outcome == Outcome::Marginal && runRecord.reason.isEmpty()) {
            runRecord.reason = r.reason;
        }
        stop = !(r.outcome == Outcome::Pass || r.outcome == Outcome::Marginal
                 || (r.outcome == Outcome::Fail && plan.steps[i].continueOnFail));
    }
    runRecord.outcome = outcome;

    makeSafe();
    runRecord.end = QDateTime::currentDateTimeUtc();
    writeRecord();
    emit finished(runRecord.outcome);
    return runRecord.outcome;
}

void UnitRun::makeSafe()
{
    EndState &end = runRecord.endState;
    if (plan.leaveAsIs && runRecord.outcome == Outcome::Pass) {
        end.note = QStringLiteral("left as the plan's last step set it");
        return;
    }
    // Sent even after a stop or a signal: this is what a stop is for. Every
    // write is tried, whatever became of the one before.
    const QVector<PlanWrite> safe = {
        {CommandWord::LaserSwitch, {0}, QStringLiteral("laser off")},
        {CommandWord::TecSwitch, {1}, QStringLiteral("tec on")},
        {CommandWord::AutoTecSwitch, {1}, QStringLiteral("tec automatic")},
        {CommandWord::FanDebug, {0x01, 0xFF, 0xFF}, QStringLiteral("fans automatic")}};
    end.applied = true;
    end.writesAccepted = true;
    QStringList problems;
    for (const PlanWrite &w : safe) {
        if (link->write(w) != ExitCode::Done) {
            end.writesAccepted = false;
            problems.append(QStringLiteral("%1: %2").arg(w.what, link->errorText()));
        }
    }
    DevStatusCache last;
    if (link->readStatus(last) == ExitCode::Done) {
        deliver(QDateTime::currentDateTimeUtc(), true, last);
        end.laserOn = last.ldStatBits & 0x01;
        end.confirmed = !end.laserOn;
        runRecord.firmwareAfter = firmwareText(last);
        if (end.laserOn)
            problems.append(QStringLiteral("the unit still reports its laser on"));
    } else {
        problems.append(QStringLiteral("no status read after the end: %1").arg(link->errorText()));
    }
    end.note = problems.join(QStringLiteral("; "));
}

void UnitRun::writeRecord()
{
    if (hub)
        hub->finishAll();
    hub.reset();
    if (runFolder.isEmpty())
        return;
    QString error = samplesError.isEmpty() ? QString() : QStringLiteral("samples.csv: ") + samplesError;
    bool ok = error.isEmpty() && RecordStore::writeAtomically(runFolder + QStringLiteral("/junit.xml"), runRecord.toJunitXml(), &error)
        && (!recordHook || recordHook(runRecord, runFolder, &error));
    // record.json last: a folder with it is a whole record.
    ok = ok
        && RecordStore::writeAtomically(runFolder + QStringLiteral("/record.json"),
                                        QJsonDocument(runRecord.toJson()).toJson(QJsonDocument::Indented), &error);
    if (ok) {
        runRecord.folder = store->commit(runFolder, runRecord.serial, runRecord.start, &error);
        ok = !runRecord.folder.isEmpty();
    }
    ok = ok && store->appendResult(runRecord.resultsRow(), RunRecord::resultsHeader(), &error);
    if (!ok) {
        runRecord.outcome = worse(runRecord.outcome, Outcome::Error);
        runRecord.reason = QStringLiteral("records: %1").arg(error);
    }
}
