// korvexctl watch: polls the status and records it (see WatchCommand).

#include "Console.h"
#include "CtlCommands.h"
#include "DeviceSession.h"
#include "MetricsExport.h"
#include "ExitCode.h"
#include "MqttOptions.h"
#include "MqttWatchOutput.h"
#include "PortCheck.h"
#include "SignalEvents.h"
#include "UnitFileOutput.h"
#include "UnitPoller.h"
#include "WatchCommand.h"

#include <QFileInfo>

#include <limits>

namespace {

// How long the broker may take to answer at start (a refused login ends the
// watch before the first poll; a broker that is not there does not).
constexpr int MqttStartWaitMs = 5000;
// The publisher keeps about ten minutes of samples while the broker is away.
constexpr int MqttQueueMs = 10 * 60 * 1000;

const char *const MqttOptionNames[] = {"mqtt", "mqtt-topic", "mqtt-id", "mqtt-client-id", "mqtt-user",
                                    "mqtt-password-file", "mqtt-tls-ca", "mqtt-qos"};

bool readMqttOptions(const CtlContext &ctx, MqttOptions *mqtt, QString *error)
{
    for (const char *name : MqttOptionNames) {
        if (ctx.isSet(name) && !mqtt->set(QStringLiteral("--") + QLatin1String(name), ctx.value(name), error))
            return false;
    }
    return mqtt->finish(error);
}

// A file option: its name, the file name as given and the kind of output.
struct FileOption
{
    QString option;
    QString pattern;
    UnitFileOutput::Maker make;
};

// In a rack every unit publishes as itself: a given topic ID or client
// identifier must name the unit.
bool rackMqttNames(const MqttOptions &mqtt, QString *error)
{
    const QString port = QStringLiteral("{port}");
    if ((!mqtt.id.isEmpty() && !mqtt.id.contains(port)) || (!mqtt.clientId.isEmpty() && !mqtt.clientId.contains(port))) {
        *error = QStringLiteral("with several --port, --mqtt-id and --mqtt-client-id need {port} (each unit "
                                "publishes as itself; by default under its serial number)");
        return false;
    }
    return true;
}

// Every file of every unit, before anything is polled: known placeholders,
// no file shared by two outputs (under any of its names), folders that are
// there, and what an existing file may get. The names that are known now are
// claimed; those that wait for a serial number claim theirs when they open.
bool checkFiles(const QList<FileOption> &files, const QStringList &ports, WatchTextFile::Existing existing,
                FileClaims *claims, QString *error)
{
    const bool rack = ports.size() > 1;
    int onStdout = 0;
    // With a stand-in serial number of each unit: two patterns that always meet.
    FileClaims names;
    for (const FileOption &f : files) {
        if (!UnitFileName::check(f.pattern, error))
            return false;
        if (f.pattern == QLatin1String("-")) {
            if (rack) {
                *error = QStringLiteral("%1 -: with several --port the units' rows would mix on stdout; give a file "
                                        "name with {port} or {serial}").arg(f.option);
                return false;
            }
            if (++onStdout > 1) {
                *error = QStringLiteral("only one of --csv and --jsonl can go to stdout");
                return false;
            }
            continue;
        }
        if (rack && !UnitFileName::hasPlaceholder(f.pattern)) {
            *error = QStringLiteral("%1 %2: with several --port every unit would write this one file; put {port} or "
                                    "{serial} in its name").arg(f.option, f.pattern);
            return false;
        }
        for (int unit = 0; unit < ports.size(); ++unit) {
            const QString &port = ports.at(unit);
            const QString owner = QStringLiteral("%1 of %2").arg(f.option, port);
            const QString standIn = UnitFileName::expand(f.pattern, port, QStringLiteral("{serial %1}").arg(unit));
            QString holder;
            if (!names.claim(standIn, owner, &holder)) {
                *error = QStringLiteral("%1 %2 is the file of %3 as well: two outputs never share a file")
                             .arg(f.option, standIn, holder);
                return false;
            }
            if (UnitFileName::needsSerial(f.pattern)) {
                const QString folder = QFileInfo(standIn).absolutePath();
                if (!folder.contains(QStringLiteral("{serial ")) && !QFileInfo(folder).isDir()) {
                    *error = QStringLiteral("cannot write %1: the folder %2 does not exist").arg(f.pattern, folder);
                    return false;
                }
                continue;
            }
            const QString path = UnitFileName::expand(f.pattern, port, QString());
            const QString header = f.make()->header();
            if (!WatchTextFile::check(path, existing, header, error) || !claims->claim(path, owner, &holder))
                return false;
        }
    }
    return true;
}

// --metrics and --metrics-file: the endpoint listens before the first poll,
// so that a port already taken ends the watch at once.
int setUpMetrics(const CtlContext &ctx, MetricsExport *metrics)
{
    QString error;
    if (ctx.isSet("metrics-file") && !metrics->setFile(ctx.value("metrics-file"), &error))
        return badArguments(error);
    if (!ctx.isSet("metrics"))
        return ExitCode::Done;
    QHostAddress address;
    quint16 port = 0;
    if (!MetricsExport::parseListen(ctx.value("metrics"), &address, &port, &error))
        return badArguments(error);
    if (!metrics->listen(address, port, &error)) {
        Console::error(QStringLiteral("watch: %1").arg(error));
        return ExitCode::EndpointNotOpened;
    }
    Console::error(QStringLiteral("watch: metrics at %1").arg(metrics->url()));
    return ExitCode::Done;
}

} // namespace

CtlCommand watchCommand()
{
    CtlCommand c;
    c.name = QStringLiteral("watch");
    c.summary = QStringLiteral("poll the status, record CSV or JSON lines, publish to MQTT");
    c.manyPorts = true;
    c.usage = QStringLiteral("watch [--port NAME ...] [--interval MS] [--count N | --duration S] [--csv FILE|-] [--jsonl FILE|-] "
                             "[--append | --overwrite] [--wait-for-port] [--exit-on-port-loss] "
                             "[--mqtt HOST[:PORT] [--mqtt-...]] [--metrics [ADDR:]PORT] [--metrics-file FILE]");
    c.description = QStringLiteral(
        "Polls the device's status (default every 500 ms) until the count, the duration\n"
        "or Ctrl-C. Each sample carries its time (ISO 8601 with milliseconds). --csv writes a\n"
        "header row and one row per poll (the JSON keys flattened: alarm_fan1, fan1_rpm...);\n"
        "--jsonl one JSON object per line. A lost reply gives a row with its time and empty\n"
        "values (JSON: \"lost\": true). Rows are flushed as they are written. Without an output\n"
        "on stdout (\"-\"), a compact line per sample is printed there. A file that already\n"
        "holds data is refused unless --append (rows added; a CSV must have the same header)\n"
        "or --overwrite. SIGHUP closes and reopens the files (log rotation). Two outputs into\n"
        "one file (also under two names of it: ./a.csv, a link) and a file in a folder that\n"
        "is not there are refused with 2 before anything is polled.\n"
        "A rack: every --port is one unit, each polled on its own (a unit that is lost, slow\n"
        "or silent never delays another's samples). In a file name {port} stands for the\n"
        "unit's port name without its folder, {serial} for its serial number (that file is\n"
        "opened at the unit's first reply); with several --port every file name needs one of\n"
        "them (a name two units would share is refused with 2), terminal lines start with\n"
        "the port, and each unit publishes to MQTT as itself (--mqtt-id and --mqtt-client-id,\n"
        "when given, need {port}); --metrics serves every unit. --count is per unit.\n"
        "At the end a summary goes to stderr, a line per unit: samples, lost polls, the\n"
        "longest gap (a run of lost polls) and every alarm seen, with how long it lasted\n"
        "(left out after a --count in which every poll was answered and no alarm came).\n"
        "A port that goes away is waited for: a lost row per poll, and the port is opened\n"
        "again when it is back (one line on stderr each way); --exit-on-port-loss ends the\n"
        "watch instead. A port missing at start is waited for with --wait-for-port.\n"
        "--mqtt also publishes to an MQTT broker, under PREFIX/ID/ (PREFIX korvex, ID the\n"
        "device's serial number: nothing is published before it is known): status (each\n"
        "sample as JSON), online (retained true; false at the end and as the last will),\n"
        "alarms (retained, on every change), lost (retained; when the device stops answering\n"
        "or its port goes, and when it is back), dropped (retained; samples the queue had to\n"
        "drop). The client identifier is korvexctl-ID. A broker that goes away or fails\n"
        "(TLS, login, protocol) never stops the poll: it is retried with a back-off up to\n"
        "30 s, and about ten minutes of samples wait for it and follow in order.\n"
        "--metrics serves the latest sample for Prometheus at http://ADDR:PORT/metrics (text\n"
        "format 0.0.4; ADDR 127.0.0.1 unless given, 0.0.0.0 for every address, port 0 a free\n"
        "one; the address is printed on stderr): korvex_up (1 while the last poll was\n"
        "answered), korvex_polls_total, korvex_lost_polls_total,\n"
        "korvex_last_sample_timestamp_seconds, korvex_unit_info{firmware,laser_type} and one\n"
        "series per status field in base units (korvex_laser_temperature_celsius,\n"
        "korvex_tec_current_amperes, korvex_fan_speed_rpm{fan=\"1\"}, korvex_power_ratio 0..1,\n"
        "korvex_alarm{alarm=\"fan2\"} 0/1, korvex_laser_on...), each labelled port and serial.\n"
        "A unit that stops answering keeps its last values with korvex_up 0. --metrics-file\n"
        "writes the same text to FILE (FILE.tmp, then renamed) after every poll, for\n"
        "node_exporter's textfile collector (name it *.prom in the collector's folder).\n"
        "Ends with 0; with 3 when Ctrl-C comes before a given count or duration; with 4 when\n"
        "no poll (of a unit) got a valid reply, or a port went away with --exit-on-port-loss;\n"
        "with 5 when an output cannot be written; with 6\n"
        "when the port cannot be opened, when --mqtt delivered no sample at all, or at start\n"
        "when the broker refuses the login or its TLS certificate, does not speak MQTT, or\n"
        "its host name cannot be looked up, or when --metrics cannot listen on its address.\n"
        "A refused output file is 2.");
    c.addOptions = [](QCommandLineParser &p) {
        p.addOption({QStringLiteral("interval"), QStringLiteral("Milliseconds between polls (default 500; at least the poll's own time on the "
                                    "line: 39 at 19200 baud, 11 at 115200)."),
                     QStringLiteral("MS")});
        p.addOption({QStringLiteral("count"), QStringLiteral("Stop after N polls."), QStringLiteral("N")});
        p.addOption({QStringLiteral("duration"), QStringLiteral("Stop after S seconds."), QStringLiteral("S")});
        p.addOption({QStringLiteral("csv"), QStringLiteral("Write CSV rows to FILE (\"-\": stdout)."), QStringLiteral("FILE")});
        p.addOption({QStringLiteral("jsonl"), QStringLiteral("Write JSON lines to FILE (\"-\": stdout)."),
                     QStringLiteral("FILE")});
        p.addOption({QStringLiteral("append"), QStringLiteral("Add to an existing --csv or --jsonl file.")});
        p.addOption({QStringLiteral("overwrite"), QStringLiteral("Replace an existing --csv or --jsonl file.")});
        p.addOption({QStringLiteral("wait-for-port"), QStringLiteral("Wait for a port that is not there at start.")});
        p.addOption({QStringLiteral("exit-on-port-loss"),
                     QStringLiteral("End with 4 when the port goes away instead of waiting for it.")});
        p.addOption({QStringLiteral("mqtt"), QStringLiteral("Also publish to the MQTT broker HOST (port 1883, 8883 with TLS)."),
                     QStringLiteral("HOST[:PORT]")});
        p.addOption({QStringLiteral("mqtt-topic"), QStringLiteral("Topic prefix (default korvex)."), QStringLiteral("PREFIX")});
        p.addOption({QStringLiteral("mqtt-id"), QStringLiteral("Topic level of this device (default: its serial number)."),
                     QStringLiteral("ID")});
        p.addOption({QStringLiteral("mqtt-client-id"),
                     QStringLiteral("Client identifier at the broker (default korvexctl-ID)."), QStringLiteral("CLIENT")});
        p.addOption({QStringLiteral("mqtt-user"), QStringLiteral("Log in to the broker as USER."), QStringLiteral("USER")});
        p.addOption({QStringLiteral("mqtt-password-file"),
                     QStringLiteral("The broker password is the first line of FILE (never on the command line)."),
                     QStringLiteral("FILE")});
        p.addOption({QStringLiteral("mqtt-tls-ca"), QStringLiteral("TLS; the broker's certificate must be signed by FILE."),
                     QStringLiteral("FILE")});
        p.addOption({QStringLiteral("mqtt-qos"), QStringLiteral("QoS of the samples, 0 or 1 (default 1)."),
                     QStringLiteral("0|1")});
        p.addOption({QStringLiteral("metrics"),
                     QStringLiteral("Serve Prometheus metrics on PORT (localhost unless ADDR is given)."),
                     QStringLiteral("[ADDR:]PORT")});
        p.addOption({QStringLiteral("metrics-file"),
                     QStringLiteral("Write the metrics to FILE after every poll (node_exporter's textfile collector)."),
                     QStringLiteral("FILE")});
    };
    c.run = [](CtlContext &ctx) {
        if (!ctx.args.isEmpty())
            return badArguments(QStringLiteral("watch takes no words, only options (see korvexctl help watch)"));
        WatchCommand::Settings settings;
        QString error;
        qint64 v = 0;
        if (ctx.isSet("interval")) {
            if (!CtlArgs::parseInt(ctx.value("interval"), 1, 86400000, QStringLiteral("--interval"), &v, &error))
                return badArguments(error);
            const int shortest = UnitPoller::shortestIntervalMs(ctx.line.baud);
            if (v < shortest)
                return badArguments(QStringLiteral("--interval %1 is shorter than a poll takes at %2 baud: at least %3 ms")
                                        .arg(v).arg(ctx.line.baud).arg(shortest));
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
        if (ctx.isSet("append") && ctx.isSet("overwrite"))
            return badArguments(QStringLiteral("watch takes --append or --overwrite, not both"));
        const WatchTextFile::Existing existing = ctx.isSet("append")  ? WatchTextFile::Existing::Append
                                                 : ctx.isSet("overwrite") ? WatchTextFile::Existing::Overwrite
                                                                          : WatchTextFile::Existing::Refuse;
        settings.exitOnPortLoss = ctx.isSet("exit-on-port-loss");
        // Two names of one device are one unit.
        QStringList ports;
        const QStringList repeated = PortCheck::repeatedDevices(ctx.line.ports);
        for (const QString &port : ctx.line.ports)
            if (!repeated.contains(port) && !ports.contains(port))
                ports << port;
        const bool rack = ports.size() > 1;
        MqttOptions mqtt;
        if (!readMqttOptions(ctx, &mqtt, &error))
            return badArguments(error);
        if (rack && mqtt.enabled() && !rackMqttNames(mqtt, &error))
            return badArguments(error);
        QList<FileOption> files;
        if (ctx.isSet("csv"))
            files.append({QStringLiteral("--csv"), ctx.value("csv"), [] { return std::make_unique<CsvWatchOutput>(); }});
        if (ctx.isSet("jsonl"))
            files.append({QStringLiteral("--jsonl"), ctx.value("jsonl"), [] { return std::make_unique<JsonlWatchOutput>(); }});
        // Every file is checked before anything is polled or written.
        auto claims = std::make_shared<FileClaims>();
        if (!checkFiles(files, ports, existing, claims.get(), &error))
            return badArguments(error);

        MetricsExport metrics;
        int code = setUpMetrics(ctx, &metrics);
        if (code != ExitCode::Done)
            return code;

        std::vector<std::unique_ptr<DeviceSession>> sessions;
        for (const QString &port : ports) {
            LineOptions line = ctx.line;
            line.ports = QStringList{port};
            auto session = std::make_unique<DeviceSession>(line);
            code = session->open();
            if (code != ExitCode::Done) {
                if (!ctx.isSet("wait-for-port")) {
                    Console::error(QStringLiteral("watch: %1").arg(session->errorText()));
                    return code;
                }
                Console::error(QStringLiteral("watch: %1; waiting for it (a lost row per poll meanwhile)")
                                   .arg(session->errorText()));
            }
            sessions.push_back(std::move(session));
        }
        WatchCommand watch(settings);
        QList<UnitPoller *> pollers;
        for (const auto &session : sessions)
            pollers << watch.addUnit(*session, ctx.line.retries);
        // The outputs, each unit's own. Each gets every sample as it is taken.
        bool stdoutTaken = false;
        for (const FileOption &f : files) {
            for (const QString &port : ports) {
                const QString owner = QStringLiteral("%1 of %2").arg(f.option, port);
                if (UnitFileName::needsSerial(f.pattern)) {
                    watch.addOutput(std::make_unique<UnitFileOutput>(f.pattern, port, owner, existing, f.make, claims), port);
                    continue;
                }
                auto output = f.make();
                if (!output->open(UnitFileName::expand(f.pattern, port, QString()), existing, &error)) {
                    Console::error(QStringLiteral("watch: %1").arg(error));
                    return ExitCode::Failed;
                }
                stdoutTaken = stdoutTaken || output->isStdout();
                watch.addOutput(std::move(output), port);
            }
        }
        if (!stdoutTaken)
            watch.addOutput(std::make_unique<TerminalWatchOutput>(rack));
        if (metrics.enabled()) {
            for (UnitPoller *poller : pollers)
                watch.addOutput(metrics.output(poller->port()), poller->port());
        }
        // Kept here too: their counts are read after the watch, when the hub
        // has deleted its outputs.
        std::vector<std::shared_ptr<MqttPublisher>> publishers;
        if (mqtt.enabled()) {
            for (UnitPoller *poller : pollers) {
                MqttOptions unitMqtt = mqtt;
                unitMqtt.id = UnitFileName::expand(mqtt.id, poller->port(), QString());
                unitMqtt.clientId = UnitFileName::expand(mqtt.clientId, poller->port(), QString());
                auto owned = std::make_shared<MqttPublisher>(unitMqtt);
                owned->setQueueCapacity(qMax(100, MqttQueueMs / settings.intervalMs));
                const QString who = rack ? poller->port() + QStringLiteral(": ") : QString();
                QObject::connect(owned.get(), &MqttPublisher::warning, [who](const QString &text) {
                    Console::error(QStringLiteral("watch: %1%2").arg(who, text));
                });
                if (owned->start(MqttStartWaitMs, &error) != MqttPublisher::Started) {
                    Console::error(QStringLiteral("watch: %1").arg(error));
                    return ExitCode::BrokerRefused;
                }
                publishers.push_back(owned);
                // A port that is gone counts as lost at once.
                watch.addOutput(std::make_unique<MqttWatchOutput>(owned, [poller] {
                    return poller->portOpen() ? poller->consecutiveFailures() : std::numeric_limits<quint32>::max();
                }), poller->port());
            }
        }
        // From here SIGHUP reopens the files (between polls) instead of
        // ending the watch.
        SignalEvents::setHangupReopens(true);
        code = watch.run();
        SignalEvents::setHangupReopens(false);
        if (!watch.nothingToSum()) {
            for (const QString &line : watch.summaryLines())
                Console::error(QStringLiteral("watch: %1").arg(line));
        }
        if (code != ExitCode::Done)
            Console::error(QStringLiteral("watch: %1").arg(watch.errorText()));
        for (const std::shared_ptr<MqttPublisher> &publisher : publishers) {
            if (publisher->droppedCount() > 0)
                Console::error(QStringLiteral("watch: MQTT: %1 messages dropped from the queue while the broker was away")
                                   .arg(publisher->droppedCount()));
            if (publisher->deliveredSamples() == 0 && code == ExitCode::Done) {
                Console::error(QStringLiteral("watch: MQTT: not one sample was delivered to broker %1").arg(mqtt.host));
                code = ExitCode::BrokerRefused;
            }
        }
        return code;
    };
    return c;
}
