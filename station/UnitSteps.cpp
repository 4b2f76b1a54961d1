// The step kinds of a test run, one function each.

#include "UnitRun.h"

#include "ExitCode.h"
#include "PlanFields.h"
#include "RecordStore.h"
#include "SampleStats.h"
#include "SerialNumberRecord.h"
#include "StatusFormat.h"
#include "StatusSchema.h"
#include "UnitLink.h"

#include <QFile>
#include <QVersionNumber>

#include <cmath>

namespace {

QString fieldName(const FieldLimit &c)
{
    return c.field.name;
}

// Whether every condition holds on this sample; *why names the first that does not.
bool allHold(const QVector<FieldLimit> &conditions, const DevStatusCache &cache, QString *why)
{
    for (const FieldLimit &c : conditions) {
        const double v = PlanFields::value(c.field, cache);
        if (judge(c.limit, v) == Outcome::Fail) {
            *why = QStringLiteral("%1 = %2 (%3)").arg(fieldName(c)).arg(v).arg(c.limit.text());
            return false;
        }
    }
    return true;
}

} // namespace

UnitRun::StepResult UnitRun::runStep(const PlanStep &step, StepRecord &record)
{
    switch (step.kind) {
    case PlanStep::Kind::Check: return checkStep(step, record);
    case PlanStep::Kind::Set: return setStep(step);
    case PlanStep::Kind::Wait: return waitStep(step, record);
    case PlanStep::Kind::Hold: return holdStep(step, record);
    case PlanStep::Kind::Measure: return measureStep(step, record);
    case PlanStep::Kind::ThermalStep: return thermalStep(step, record);
    case PlanStep::Kind::Flash: return flashStep(step, record);
    case PlanStep::Kind::Serial: return serialStep(step, record);
    case PlanStep::Kind::Prompt: return promptStep(step, record);
    }
    return StepResult();
}

UnitRun::StepResult UnitRun::checkStep(const PlanStep &step, StepRecord &record)
{
    DevStatusCache c;
    StepResult r = readNow(&c);
    if (r.outcome != Outcome::Pass)
        return r;
    PlanLimit clear;
    clear.expected = 0;
    for (const StatusSchema::Field &f : StatusSchema::fields()) {
        const QString name = QString::fromLatin1(f.json ? f.json : f.key);
        if (!name.startsWith(QLatin1String("alarms.")) || (!step.noAlarms && !step.absentAlarms.contains(name)))
            continue;
        appendMeasurement(currentStep, record, measure(name, double(StatusSchema::raw(f, c)), QString(), clear), r);
    }
    const QString firmware = QStringLiteral("%1.%2").arg(c.fwMajor).arg(c.fwMinor);
    if (!step.firmwareOneOf.isEmpty())
        appendMeasurement(currentStep, record,
                          textMeasure(QStringLiteral("firmware"), firmware,
                                      QStringLiteral("one of ") + step.firmwareOneOf.join(QStringLiteral(", ")),
                                      step.firmwareOneOf.contains(firmware)),
                          r);
    if (!step.firmwareAtLeast.isEmpty())
        appendMeasurement(currentStep, record,
                          textMeasure(QStringLiteral("firmware"), firmware, QStringLiteral("at least ") + step.firmwareAtLeast,
                                      QVersionNumber::fromString(firmware) >= QVersionNumber::fromString(step.firmwareAtLeast)),
                          r);
    if (!step.laserTypeOneOf.isEmpty()) {
        QStringList names;
        for (qint64 code : step.laserTypeOneOf)
            names.append(QString::fromLatin1(StatusSchema::laserTypeName(code)));
        const char *name = StatusSchema::laserTypeName(c.ldType);
        appendMeasurement(currentStep, record,
                          textMeasure(QStringLiteral("laser_type"), name ? QString::fromLatin1(name) : QString::number(c.ldType),
                                      QStringLiteral("one of ") + names.join(QStringLiteral(", ")),
                                      step.laserTypeOneOf.contains(qint64(c.ldType))),
                          r);
    }
    return r;
}

UnitRun::StepResult UnitRun::setStep(const PlanStep &step)
{
    for (const PlanWrite &w : step.writes) {
        const StepResult r = writeOne(w);
        if (r.outcome != Outcome::Pass)
            return r;
    }
    return StepResult();
}

UnitRun::StepResult UnitRun::waitStep(const PlanStep &step, StepRecord &record)
{
    const qint64 end = elapsed() + step.timeoutMs;
    qint64 heldSince = -1;
    QString why;
    DevStatusCache c;
    while (true) {
        StepResult r = poll(&c);
        if (r.outcome != Outcome::Pass)
            return r;
        const StepResult alarm = alarmsOf(c, step.conditions);
        if (alarm.outcome != Outcome::Pass)
            return alarm;
        if (allHold(step.conditions, c, &why)) {
            if (heldSince < 0)
                heldSince = elapsed();
            if (elapsed() - heldSince >= step.forMs) {
                for (const FieldLimit &cond : step.conditions)
                    appendMeasurement(currentStep, record,
                                      measure(cond.field.name, PlanFields::value(cond.field, c), cond.field.unit, cond.limit), r);
                return r;
            }
        } else {
            heldSince = -1;
        }
        if (elapsed() >= end) {
            r.fail(Outcome::Fail, QStringLiteral("not held for %1 s within %2 s: %3")
                                      .arg(step.forMs / 1000.0).arg(step.timeoutMs / 1000.0).arg(why));
            return r;
        }
    }
}

UnitRun::StepResult UnitRun::holdStep(const PlanStep &step, StepRecord &record)
{
    const qint64 start = elapsed();
    QVector<double> lo(step.conditions.size(), INFINITY), hi(step.conditions.size(), -INFINITY);
    DevStatusCache c;
    StepResult r;
    while (elapsed() - start < step.forMs || lo.isEmpty() || std::isinf(lo[0])) {
        const StepResult p = poll(&c);
        if (p.outcome != Outcome::Pass)
            return p;
        const StepResult alarm = alarmsOf(c, step.conditions);
        if (alarm.outcome != Outcome::Pass)
            return alarm;
        for (int i = 0; i < step.conditions.size(); ++i) {
            const FieldLimit &cond = step.conditions[i];
            const double v = PlanFields::value(cond.field, c);
            lo[i] = qMin(lo[i], v);
            hi[i] = qMax(hi[i], v);
            if (judge(cond.limit, v) == Outcome::Fail) {
                appendMeasurement(currentStep, record, measure(cond.field.name, v, cond.field.unit, cond.limit), r);
                r.reason = QStringLiteral("%1 = %2%3 at %4 s into the hold (%5)")
                               .arg(cond.field.name).arg(v)
                               .arg(cond.field.unit.isEmpty() ? QString() : QLatin1Char(' ') + cond.field.unit)
                               .arg((elapsed() - start) / 1000.0).arg(cond.limit.text());
                return r;
            }
        }
    }
    for (int i = 0; i < step.conditions.size(); ++i) {
        const FieldLimit &cond = step.conditions[i];
        if (PlanFields::isFlag(cond.field)) {
            // A flag that never changed: its one value.
            appendMeasurement(currentStep, record, measure(cond.field.name, hi[i], QString(), cond.limit), r);
            continue;
        }
        appendMeasurement(currentStep, record, measure(cond.field.name + QStringLiteral(" min"), lo[i], cond.field.unit, cond.limit), r);
        appendMeasurement(currentStep, record, measure(cond.field.name + QStringLiteral(" max"), hi[i], cond.field.unit, cond.limit), r);
    }
    return r;
}

UnitRun::StepResult UnitRun::measureStep(const PlanStep &step, StepRecord &record)
{
    QVector<SampleStats::Point> points;
    DevStatusCache c;
    const qint64 start = elapsed();
    do {
        const StepResult p = poll(&c);
        if (p.outcome != Outcome::Pass)
            return p;
        points.append({elapsed() - start, PlanFields::value(step.measured.field, c)});
    } while (step.statistic != PlanStep::Statistic::Value && elapsed() - start < step.forMs);
    StepResult r;
    const QString name = step.statistic == PlanStep::Statistic::Value
        ? step.measured.field.name
        : step.measured.field.name + QLatin1Char(' ') + PlanStep::statisticName(step.statistic);
    appendMeasurement(currentStep, record,
                      measure(name, SampleStats::compute(step.statistic, points),
                              SampleStats::unitOf(step.statistic, step.measured.field.unit), step.measured.limit),
                      r);
    return r;
}

// The samples of a thermal step while the drive is manual: every one is
// guarded (the window on the laser temperature, any alarm, the laser off).
UnitRun::StepResult UnitRun::thermalSeries(const PlanStep &step, QVector<ThermalFit::Point> &points, qint64 stepAtMs)
{
    const qint64 until = stepAtMs < 0 ? elapsed() + step.settleMs : stepAtMs + step.forMs;
    DevStatusCache c;
    while (elapsed() < until) {
        StepResult r = poll(&c);
        if (r.outcome != Outcome::Pass)
            return r;
        const double t = PlanFields::value(step.measured.field, c);
        if (judge(step.window, t) == Outcome::Fail) {
            r.fail(Outcome::Fail, QStringLiteral("laser_temp_c %1 °C left the guard window %2").arg(t).arg(step.window.text()));
            return r;
        }
        if (c.ldStatBits & 0x01) {
            r.fail(Outcome::Fail, QStringLiteral("the laser came on during the thermal step"));
            return r;
        }
        r = alarmsOf(c);
        if (r.outcome != Outcome::Pass)
            return r;
        points.append({double(elapsed() - (stepAtMs < 0 ? until : stepAtMs)) / 1000.0, t});
    }
    return StepResult();
}

UnitRun::StepResult UnitRun::thermalStep(const PlanStep &step, StepRecord &record)
{
    const QVector<PlanWrite> manual = {
        {CommandWord::LaserSwitch, {0}, QStringLiteral("laser off")},
        {CommandWord::TecSwitch, {1}, QStringLiteral("tec on")},
        {CommandWord::AutoTecSwitch, {0}, QStringLiteral("tec manual")},
        {CommandWord::TecPowerDac, {quint32(step.startDrive)}, QStringLiteral("tec dac %1").arg(step.startDrive)}};
    StepResult r;
    QVector<ThermalFit::Point> settle, response;
    for (const PlanWrite &w : manual) {
        r = writeOne(w);
        if (r.outcome != Outcome::Pass)
            break;
    }
    if (r.outcome == Outcome::Pass)
        r = thermalSeries(step, settle, -1);
    qint64 stepAt = -1;
    if (r.outcome == Outcome::Pass) {
        const int drive = step.startDrive + step.stepDrive;
        r = writeOne({CommandWord::TecPowerDac, {quint32(drive)}, QStringLiteral("tec dac %1").arg(drive)});
        stepAt = elapsed();
    }
    if (r.outcome == Outcome::Pass)
        r = thermalSeries(step, response, stepAt);
    // Automatic again whatever happened; a stopped run does it again at its end.
    const StepResult back = writeOne({CommandWord::AutoTecSwitch, {1}, QStringLiteral("tec automatic")});
    if (r.outcome != Outcome::Pass)
        return r;
    if (back.outcome != Outcome::Pass)
        return back;

    // The baseline: the last quarter of the settling time.
    QVector<ThermalFit::Point> points;
    for (const ThermalFit::Point &p : settle)
        if (p.t >= -step.settleMs / 4000.0)
            points.append(p);
    points += response;
    const ThermalFit::Result fit = ThermalFit::fit(points, step.stepDrive);
    if (!fit.valid) {
        r.fail(Outcome::Fail, QStringLiteral("the laser temperature did not respond to the TEC step"));
        return r;
    }
    const QVector<QPair<QString, QPair<double, QString>>> values = {
        {QStringLiteral("gain"), {fit.gain, QStringLiteral("°C/count")}},
        {QStringLiteral("time_constant"), {fit.timeConstant, QStringLiteral("s")}},
        {QStringLiteral("dead_time"), {fit.deadTime, QStringLiteral("s")}},
        {QStringLiteral("fit_quality"), {fit.quality, QString()}}};
    for (const auto &v : values) {
        PlanLimit none;
        for (const auto &l : step.fitLimits)
            if (l.first == v.first)
                none = l.second;
        appendMeasurement(currentStep, record, measure(v.first, v.second.first, v.second.second, none), r);
    }
    return r;
}

UnitRun::StepResult UnitRun::flashStep(const PlanStep &step, StepRecord &record)
{
    StepResult r = stopped();
    if (r.outcome != Outcome::Pass)
        return r;
    if (link->flash(step.imagePath, step.timeoutMs) != ExitCode::Done) {
        r.fail(Outcome::Fail, QStringLiteral("flashing %1: %2").arg(step.imagePath, link->errorText()));
        return r;
    }
    // The unit restarts into its new firmware: give it a few polls to answer.
    DevStatusCache c;
    for (int attempt = 0;; ++attempt) {
        r = poll(&c);
        if (r.outcome == Outcome::Pass || r.outcome == Outcome::Aborted || attempt >= 10)
            break;
    }
    if (r.outcome != Outcome::Pass)
        return r;
    const QString firmware = QStringLiteral("%1.%2").arg(c.fwMajor).arg(c.fwMinor);
    appendMeasurement(currentStep, record,
                      textMeasure(QStringLiteral("firmware"), firmware, step.expectedFirmware, firmware == step.expectedFirmware), r);
    return r;
}

UnitRun::StepResult UnitRun::serialStep(const PlanStep &step, StepRecord &record)
{
    StepResult r;
    QString serial;
    switch (step.serialSource) {
    case PlanStep::SerialSource::CommandLine:
        serial = runSettings.serial;
        if (serial.isEmpty())
            r.fail(Outcome::Error, QStringLiteral("no serial number was given (--serial)"));
        break;
    case PlanStep::SerialSource::File: {
        // The first number of the file that the station has not used yet.
        QFile f(step.serialFile);
        if (!f.open(QIODevice::ReadOnly)) {
            r.fail(Outcome::Error, QStringLiteral("cannot read %1").arg(step.serialFile));
            break;
        }
        for (const QByteArray &line : f.readAll().split('\n')) {
            QByteArray bytes;
            const QString candidate = QString::fromUtf8(line).trimmed();
            if (SerialNumberRecord::parse(candidate, &bytes)
                && store->claimSerial(StatusFormat::formatSerialNumber(bytes))) {
                serial = candidate;
                break;
            }
        }
        if (serial.isEmpty())
            r.fail(Outcome::Error, QStringLiteral("%1 has no unused serial number left").arg(step.serialFile));
        break;
    }
    case PlanStep::SerialSource::Allocate:
        serial = store->allocateSerial(step.serialModel, QDate::currentDate());
        if (serial.isEmpty())
            r.fail(Outcome::Error, QStringLiteral("no serial number of model %1 left today").arg(step.serialModel));
        break;
    }
    QByteArray bytes;
    if (r.outcome == Outcome::Pass && !SerialNumberRecord::parse(serial, &bytes))
        r.fail(Outcome::Error, QStringLiteral("\"%1\" is not a serial number (MODEL-YYYYMMDD-SEQ)").arg(serial));
    if (r.outcome != Outcome::Pass)
        return r;
    const QString shown = StatusFormat::formatSerialNumber(bytes);
    if (step.serialSource == PlanStep::SerialSource::CommandLine && !store->claimSerial(shown)) {
        r.fail(Outcome::Fail, QStringLiteral("serial number %1 is already in the station's records").arg(shown));
        return r;
    }
    QVector<quint32> values;
    for (char b : bytes)
        values.append(quint8(b));
    r = writeOne({CommandWord::SerialNumber, values, QStringLiteral("serial number %1").arg(shown)});
    if (r.outcome != Outcome::Pass)
        return r;
    DevStatusCache c;
    r = readNow(&c);
    if (r.outcome != Outcome::Pass)
        return r;
    const QString reported = StatusFormat::formatSerialNumber(c.serialNum);
    appendMeasurement(currentStep, record, textMeasure(QStringLiteral("serial_number"), reported, shown, reported == shown), r);
    if (reported == shown) {
        runRecord.serial = shown;
        emit identified(shown);
    }
    return r;
}

UnitRun::StepResult UnitRun::promptStep(const PlanStep &step, StepRecord &record)
{
    Q_UNUSED(record);
    StepResult r;
    if (!prompt) {
        r.fail(Outcome::Error, QStringLiteral("needs an operator to answer \"%1\"").arg(step.instruction));
        return r;
    }
    QString note;
    if (!prompt(portName, step.instruction, &note))
        r.fail(Outcome::Fail, note.isEmpty() ? QStringLiteral("the operator failed it") : note);
    return r;
}
