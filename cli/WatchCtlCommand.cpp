// korvexctl watch: polls the status and records it (see WatchCommand).

#include "Console.h"
#include "CtlCommands.h"
#include "DeviceSession.h"
#include "ExitCode.h"
#include "WatchCommand.h"

CtlCommand watchCommand()
{
    CtlCommand c;
    c.name = QStringLiteral("watch");
    c.summary = QStringLiteral("poll the status, record CSV or JSON lines");
    c.usage = QStringLiteral("watch [--interval MS] [--count N | --duration S] [--csv FILE|-] [--jsonl FILE|-]");
    c.description = QStringLiteral(
        "Polls the device's status (default every 500 ms) until the count, the duration\n"
        "or Ctrl-C. Each sample carries its time (ISO 8601 with milliseconds). --csv writes a\n"
        "header row and one row per poll (the JSON keys flattened: alarm_fan1, fan1_rpm...);\n"
        "--jsonl one JSON object per line. A lost reply gives a row with its time and empty\n"
        "values (JSON: \"lost\": true). Rows are flushed as they are written. Without an output\n"
        "on stdout (\"-\"), a compact line per sample is printed there.\n"
        "Ends with 0; with 3 when Ctrl-C comes before a given count or duration; with 4 when\n"
        "no poll got a valid reply or the port went away.");
    c.addOptions = [](QCommandLineParser &p) {
        p.addOption({QStringLiteral("interval"), QStringLiteral("Milliseconds between polls (default 500, at least 50)."),
                     QStringLiteral("MS")});
        p.addOption({QStringLiteral("count"), QStringLiteral("Stop after N polls."), QStringLiteral("N")});
        p.addOption({QStringLiteral("duration"), QStringLiteral("Stop after S seconds."), QStringLiteral("S")});
        p.addOption({QStringLiteral("csv"), QStringLiteral("Write CSV rows to FILE (\"-\": stdout)."), QStringLiteral("FILE")});
        p.addOption({QStringLiteral("jsonl"), QStringLiteral("Write JSON lines to FILE (\"-\": stdout)."),
                     QStringLiteral("FILE")});
    };
    c.run = [](CtlContext &ctx) {
        if (!ctx.args.isEmpty())
            return badArguments(QStringLiteral("watch takes no words, only options (see korvexctl help watch)"));
        WatchCommand::Settings settings;
        QString error;
        qint64 v = 0;
        if (ctx.isSet("interval")) {
            if (!CtlArgs::parseInt(ctx.value("interval"), 50, 86400000, QStringLiteral("--interval"), &v, &error))
                return badArguments(error);
            settings.intervalMs = int(v);
        }
        if (ctx.isSet("count") && ctx.isSet("duration"))
            return badArguments(QStringLiteral("watch takes --count or --duration, not both"));
        if (ctx.isSet("count")) {
            if (!CtlArgs::parseInt(ctx.value("count"), 1, Q_INT64_C(1) << 40, QStringLiteral("--count"), &v, &error))
                return badArguments(error);
            settings.count = v;
        }
        if (ctx.isSet("duration")) {
            bool ok = false;
            const double seconds = ctx.value("duration").toDouble(&ok);
            if (!ok || !(seconds > 0) || seconds > 1e9)
                return badArguments(QStringLiteral("--duration needs a number of seconds, not \"%1\"").arg(ctx.value("duration")));
            settings.durationMs = qint64(seconds * 1000.0 + 0.5);
        }
        const QString csvPath = ctx.value("csv");
        const QString jsonlPath = ctx.value("jsonl");
        if (ctx.isSet("csv") && ctx.isSet("jsonl") && csvPath == QLatin1String("-") && jsonlPath == QLatin1String("-"))
            return badArguments(QStringLiteral("only one of --csv and --jsonl can go to stdout"));

        DeviceSession session(ctx.line);
        int code = session.open();
        if (code != ExitCode::Done) {
            Console::error(QStringLiteral("watch: %1").arg(session.errorText()));
            return code;
        }
        WatchCommand watch(session, settings);
        // The outputs. Each gets every sample as it is taken.
        bool stdoutTaken = false;
        if (ctx.isSet("csv")) {
            auto csv = std::make_unique<CsvWatchOutput>();
            if (!csv->open(csvPath, &error)) {
                Console::error(QStringLiteral("watch: %1").arg(error));
                return ExitCode::Failed;
            }
            stdoutTaken = stdoutTaken || csv->isStdout();
            watch.addOutput(std::move(csv));
        }
        if (ctx.isSet("jsonl")) {
            auto jsonl = std::make_unique<JsonlWatchOutput>();
            if (!jsonl->open(jsonlPath, &error)) {
                Console::error(QStringLiteral("watch: %1").arg(error));
                return ExitCode::Failed;
            }
            stdoutTaken = stdoutTaken || jsonl->isStdout();
            watch.addOutput(std::move(jsonl));
        }
        if (!stdoutTaken)
            watch.addOutput(std::make_unique<TerminalWatchOutput>());

        code = watch.run();
        if (code != ExitCode::Done)
            Console::error(QStringLiteral("watch: %1").arg(watch.errorText()));
        return code;
    };
    return c;
}
