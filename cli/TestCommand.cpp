// korvexctl test: a production test plan on a rack of units at once.

#include "TestCommand.h"

#include "CertificateHook.h"
#include "Console.h"
#include "CtlCommands.h"
#include "ExitCode.h"
#include "KorvexCtl.h"
#include "PlanReader.h"
#include "PortCheck.h"
#include "Station.h"
#include "StationLink.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSysInfo>
#include <QJsonDocument>
#include <QTimer>

#include <unistd.h>

TestProgress::TestProgress(Station &s, FILE *stream, bool terminal)
    : station(s), out(stream), isTerminal(terminal), rows(s.unitCount())
{
    clock.start();
    QObject::connect(&station, &Station::identified, &station, [this](int unit, const QString &serial) {
        rows[unit].serial = serial;
        event(unit, QStringLiteral("unit %1").arg(serial));
    });
    QObject::connect(&station, &Station::stepStarted, &station, [this](int unit, int, const QString &name) {
        rows[unit].step = name;
        event(unit, QStringLiteral("step %1").arg(name));
    });
    QObject::connect(&station, &Station::stepFinished, &station, [this](int unit, int step, Outcome o, const QString &why) {
        rows[unit].outcome = worse(rows[unit].outcome, o);
        event(unit, QStringLiteral("step %1: %2%3").arg(station.testPlan().steps[step].name, outcomeName(o),
                                                          why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why)));
    });
    QObject::connect(&station, &Station::unitFinished, &station, [this](int unit, Outcome o) {
        rows[unit].done = true;
        rows[unit].doneMs = clock.elapsed();
        rows[unit].outcome = o;
        event(unit, QStringLiteral("done: %1").arg(outcomeName(o)));
    });
}

void TestProgress::event(int unit, const QString &text)
{
    if (isTerminal)
        return; // the table shows it at its next redraw
    std::fprintf(out, "%8.1f  %s  %s\n", clock.elapsed() / 1000.0, qPrintable(station.port(unit)), qPrintable(text));
    std::fflush(out);
}

void TestProgress::redraw()
{
    if (!isTerminal)
        return;
    QString text;
    if (drawnLines > 0)
        text += QStringLiteral("\x1b[%1A").arg(drawnLines);
    text += QStringLiteral("\x1b[2K%1  %2  %3  %4  %5\n")
                .arg(QStringLiteral("PORT"), -20).arg(QStringLiteral("SERIAL"), -20).arg(QStringLiteral("STEP"), -20)
                .arg(QStringLiteral("ELAPSED"), 8).arg(QStringLiteral("SO FAR"));
    for (int i = 0; i < rows.size(); ++i)
        text += QStringLiteral("\x1b[2K%1  %2  %3  %4  %5\n")
                    .arg(station.port(i).right(20), -20).arg(rows[i].serial, -20).arg(rows[i].step.left(20), -20)
                    .arg(QString::number((rows[i].done ? rows[i].doneMs : clock.elapsed()) / 1000.0, 'f', 0) + QLatin1Char('s'), 8)
                    .arg(outcomeName(rows[i].outcome) + (rows[i].done ? QStringLiteral(" (done)") : QString()));
    drawnLines = rows.size() + 1;
    std::fputs(text.toLocal8Bit().constData(), out);
    std::fflush(out);
}

QString TestProgress::summary(const Station &station)
{
    QString text = QStringLiteral("%1  %2  %3  %4  %5  %6\n")
                       .arg(QStringLiteral("PORT"), -20).arg(QStringLiteral("SERIAL"), -20).arg(QStringLiteral("OUTCOME"), -8)
                       .arg(QStringLiteral("SECONDS"), 8).arg(QStringLiteral("FAILED STEP"), -16).arg(QStringLiteral("REASON"));
    for (int i = 0; i < station.unitCount(); ++i) {
        const RunRecord &r = station.record(i);
        text += QStringLiteral("%1  %2  %3  %4  %5  %6\n")
                    .arg(r.port, -20).arg(r.serial, -20).arg(outcomeName(r.outcome), -8)
                    .arg(r.durationMs() / 1000.0, 8, 'f', 1).arg(r.failedStep, -16).arg(r.reason);
    }
    return text;
}

namespace {

// 0 when every unit passed; otherwise the worst: 3 aborted, 4 error, 5 fail.
int exitCodeFor(const Station &station, bool marginalFails)
{
    Outcome worst = Outcome::Pass;
    for (int i = 0; i < station.unitCount(); ++i) {
        Outcome o = station.record(i).outcome;
        if (o == Outcome::Marginal)
            o = marginalFails ? Outcome::Fail : Outcome::Pass;
        worst = worse(worst, o);
    }
    switch (worst) {
    case Outcome::Aborted: return ExitCode::Aborted;
    case Outcome::Error: return ExitCode::NoReply;
    case Outcome::Fail: return ExitCode::Failed;
    default: return ExitCode::Done;
    }
}

int runTest(CtlContext &ctx)
{
    if (ctx.args.size() != 1)
        return badArguments(QStringLiteral("usage: korvexctl test PLAN --port P [--port P2 ...]"));
    const QStringList twice = PortCheck::repeatedDevices(ctx.line.ports);
    if (!twice.isEmpty())
        return badArguments(QStringLiteral("port %1 is given twice (it leads to a device already named)").arg(twice.first()));
    TestPlan plan;
    QString error;
    if (!PlanReader::read(ctx.args.first(), &plan, &error, &StationLink::profileWrites))
        return badArguments(error);

    UnitRun::Settings settings;
    settings.station = ctx.isSet("station") ? ctx.value("station") : QSysInfo::machineHostName();
    settings.operatorName = ctx.value("operator");
    settings.serial = ctx.value("serial");
    settings.korvexVersion = QCoreApplication::applicationVersion();
    const LineOptions line = ctx.line;
    Station station(plan, ctx.isSet("records") ? ctx.value("records") : QStringLiteral("records"), settings,
                    [line](const QString &port) { return std::make_unique<StationLink>(line, port); });
    station.setRecordHook(CertificateHook::make());
    for (const QString &port : ctx.line.ports)
        station.addUnit(port);
    if (!station.prepare(&error)) {
        Console::error(QStringLiteral("test: %1").arg(error));
        return ExitCode::Failed;
    }

    const bool json = ctx.isSet("json");
    FILE *progressStream = json ? stderr : stdout;
    TestProgress progress(station, progressStream, ::isatty(fileno(progressStream)) == 1);
    QEventLoop loop;
    QObject::connect(&station, &Station::allFinished, &loop, &QEventLoop::quit);
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        if (KorvexCtl::stopRequested().load())
            station.abortAll(QStringLiteral("stopped by a signal"));
        progress.redraw();
    });
    ticker.start(250);
    station.start();
    loop.exec();
    progress.redraw();

    const int code = exitCodeFor(station, ctx.isSet("marginal-fails"));
    if (json) {
        QJsonObject counts;
        for (int i = 0; i < station.unitCount(); ++i) {
            Console::out(QString::fromUtf8(QJsonDocument(station.record(i).summaryJson()).toJson(QJsonDocument::Compact)));
            const QString o = outcomeName(station.record(i).outcome);
            counts.insert(o, counts.value(o).toInt() + 1);
        }
        Console::out(QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("summary"), counts},
                                                                  {QStringLiteral("units"), station.unitCount()},
                                                                  {QStringLiteral("plan"), plan.name},
                                                                  {QStringLiteral("exit_code"), code}})
                                           .toJson(QJsonDocument::Compact)));
    } else {
        Console::outText(TestProgress::summary(station));
    }
    return code;
}

} // namespace

CtlCommand testCommand()
{
    CtlCommand c;
    c.name = QStringLiteral("test");
    c.summary = QStringLiteral("a production test plan on one unit or a rack at once");
    c.usage = QStringLiteral("test PLAN --port P [--port P2 ...] [--records DIR] [--station NAME] [--operator NAME] [--json]");
    c.description = QStringLiteral(
        "Runs the test plan PLAN (YAML) on every given port at the same time, one process,\n"
        "a unit that fails, hangs or vanishes holding up no other. A plan with any fault\n"
        "is refused with its line and column before anything is sent (exit 2).\n"
        "\n"
        "A plan: name, steps, optionally timeout (\"10m\"), poll (\"500ms\", the status read\n"
        "rate) and leave: as-is (a passing test leaves the unit as its last step set it).\n"
        "Each step has a name, one kind and optionally on-fail: continue. Field names are\n"
        "the keys of status --json (laser_temp_c, fan_rpm[0], alarms.fan2) or its CSV\n"
        "columns (fan1_rpm; inside {...} write \"fan_rpm[0]\" quoted); limits are {min,\n"
        "max, marginal} or {target, within}; a flag is judged by true/false. Kinds:\n"
        "  check: {alarms: none | [fan2, ...], firmware: X.Y | {at_least|equal|one_of},\n"
        "         laser_type: [Ld-25W, ...]}\n"
        "  set: {power: 640, threshold: 45.0, tec-auto: on, ...}  (every value range-checked)\n"
        "  apply: PROFILE.json  (a profile file of korvexctl profile)\n"
        "  wait: {until: {FIELD: LIMITS}, for: 30s, timeout: 5m}\n"
        "  hold: {for: 10m, limits: {FIELD: LIMITS, ...}}  (every sample; an excursion fails)\n"
        "  measure: {field: F, stat: value|mean|min|max|spread|slope, over: 30s, limits: L}\n"
        "  thermal-step: {start: 500, step: 1500, settle: 20s, duration: 60s,\n"
        "                 window: {min: 5, max: 40}, limits: {gain, time_constant,\n"
        "                 dead_time, fit_quality}}  (TEC manual, laser off, then automatic)\n"
        "  flash: {image: FILE, expect: X.Y}   serial: {from: command-line|file|allocate,\n"
        "         file: F, model: N}           prompt: TEXT (needs an operator: error here)\n"
        "Outcomes: pass, marginal, fail, error (the unit or the line did not answer),\n"
        "aborted (a signal, the plan's timeout). Whatever ends a unit's test, it ends with\n"
        "the laser off and the TEC and fans automatic, confirmed by a status read.\n"
        "\n"
        "Records (default folder records/): DIR/<serial>/<UTC start YYYYMMDDTHHMMSSZ>/ with\n"
        "record.json, junit.xml (a testsuite per unit, a testcase per step), samples.csv\n"
        "(the columns of watch --csv) and certificate.pdf (the unit's test certificate,\n"
        "drawn by korvex-certificate beside korvexctl); DIR/results.csv gets a row per unit: time, station,\n"
        "port, serial_number, plan, outcome, failed_step, duration_s, record. A record\n"
        "appears whole or not at all. record.json keys: korvex_test_record (1),\n"
        "unit {serial_number, laser_type, firmware_before, firmware_after, port}, station,\n"
        "operator, plan {name, file, sha256}, korvex_version, start, end, duration_s,\n"
        "outcome, reason, failed_step, end_state {applied, writes_accepted,\n"
        "confirmed_by_status, laser_on, tec, fans, note}, steps [{name, kind, outcome\n"
        "(not_run when not reached), reason, start, duration_s, measurements [{name,\n"
        "value, unit, limits {min, max, expected | required}, marginal, outcome}]}].\n"
        "\n"
        "On a terminal a live table (port, serial, step, elapsed, outcome so far), else a\n"
        "line per event; then a summary. Exit: 0 every unit passed (marginal passes unless\n"
        "--marginal-fails), 5 a unit failed, 4 a unit did not answer (error), 3 stopped by\n"
        "a signal or the plan's timeout; the worst of these wins. 2: bad plan or options.");
    c.manyPorts = true;
    c.addOptions = [](QCommandLineParser &p) {
        p.addOption({QStringLiteral("records"), QStringLiteral("Records folder (default records)."), QStringLiteral("DIR")});
        p.addOption({QStringLiteral("station"), QStringLiteral("Station name in the records (default the host name)."),
                     QStringLiteral("NAME")});
        p.addOption({QStringLiteral("operator"), QStringLiteral("Operator name in the records."), QStringLiteral("NAME")});
        p.addOption({QStringLiteral("serial"), QStringLiteral("Serial number for a serial step from the command line "
                                                              "(MODEL-YYYYMMDD-SEQ)."), QStringLiteral("SERIAL")});
        p.addOption({QStringLiteral("json"), QStringLiteral("One JSON object per unit run on stdout (port, serial_number, "
                                                            "plan, outcome, failed_step, reason, duration_s, "
                                                            "end_state_confirmed, record), then the summary.")});
        p.addOption({QStringLiteral("marginal-fails"), QStringLiteral("A marginal unit counts as failed (exit 5).")});
    };
    c.run = runTest;
    return c;
}
