// korvexctl watch: polls the status and records it (see WatchCommand).

#include "Console.h"
#include "CtlCommands.h"
#include "DeviceSession.h"
#include "MetricsExport.h"
#include "ExitCode.h"
#include "MqttOptions.h"
#include "MqttWatchOutput.h"
#include "SignalEvents.h"
#include "WatchCommand.h"

#include <limits>

namespace {

// How long the broker may take to answer at start (a refused login ends the
// watch before the first poll; a broker that is not there does not).
constexpr int MqttStartWaitMs = 5000;
// The publisher keeps about ten minutes of samples while the broker is away.
constexpr int MqttQueueMs = 10 * 60 * 1000;

const char *const kMqttOptions[] = {"mqtt", "mqtt-topic", "mqtt-id", "mqtt-client-id", "mqtt-user",
                                    "mqtt-password-file", "mqtt-tls-ca", "mqtt-qos"};

bool readMqttOptions(const CtlContext &ctx, MqttOptions *mqtt, QString *error)
{
    for (const char *name : kMqttOptions) {
        if (ctx.isSet(name) && !mqtt->set(QStringLiteral("--") + QLatin1String(name), ctx.value(name), error))
            return false;
    }
    return mqtt->finish(error);
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
    c.usage = QStringLiteral("watch [--interval MS] [--count N | --duration S] [--csv FILE|-] [--jsonl FILE|-] "
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
        "or --overwrite. SIGHUP closes and reopens the files (log rotation).\n"
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
        "no poll got a valid reply, or the port went away with --exit-on-port-loss; with 6\n"
        "when the port cannot be opened, when --mqtt delivered no sample at all, or at start\n"
        "when the broker refuses the login or its TLS certificate, does not speak MQTT, or\n"
        "its host name cannot be looked up, or when --metrics cannot listen on its address.\n"
        "A refused output file is 2.");
    c.addOptions = [](QCommandLineParser &p) {
        p.addOption({QStringLiteral("interval"), QStringLiteral("Milliseconds between polls (default 500, at least 50)."),
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
        if (ctx.isSet("append") && ctx.isSet("overwrite"))
            return badArguments(QStringLiteral("watch takes --append or --overwrite, not both"));
        const WatchTextFile::Existing existing = ctx.isSet("append")  ? WatchTextFile::Existing::Append
                                                 : ctx.isSet("overwrite") ? WatchTextFile::Existing::Overwrite
                                                                          : WatchTextFile::Existing::Refuse;
        settings.exitOnPortLoss = ctx.isSet("exit-on-port-loss");
        MqttOptions mqtt;
        if (!readMqttOptions(ctx, &mqtt, &error))
            return badArguments(error);
        // Every file is checked before any is written.
        auto csv = std::make_unique<CsvWatchOutput>();
        if ((ctx.isSet("csv") && !WatchTextFile::check(csvPath, existing, csv->header(), &error))
            || (ctx.isSet("jsonl") && !WatchTextFile::check(jsonlPath, existing, QString(), &error)))
            return badArguments(error);

        MetricsExport metrics;
        int code = setUpMetrics(ctx, &metrics);
        if (code != ExitCode::Done)
            return code;

        DeviceSession session(ctx.line);
        code = session.open();
        if (code != ExitCode::Done) {
            if (!ctx.isSet("wait-for-port")) {
                Console::error(QStringLiteral("watch: %1").arg(session.errorText()));
                return code;
            }
            Console::error(QStringLiteral("watch: %1; waiting for it (a lost row per poll meanwhile)")
                               .arg(session.errorText()));
        }
        WatchCommand watch(session, settings);
        // The outputs. Each gets every sample as it is taken.
        bool stdoutTaken = false;
        if (ctx.isSet("csv")) {
            if (!csv->open(csvPath, existing, &error)) {
                Console::error(QStringLiteral("watch: %1").arg(error));
                return ExitCode::Failed;
            }
            stdoutTaken = stdoutTaken || csv->isStdout();
            watch.addOutput(std::move(csv));
        }
        if (ctx.isSet("jsonl")) {
            auto jsonl = std::make_unique<JsonlWatchOutput>();
            if (!jsonl->open(jsonlPath, existing, &error)) {
                Console::error(QStringLiteral("watch: %1").arg(error));
                return ExitCode::Failed;
            }
            stdoutTaken = stdoutTaken || jsonl->isStdout();
            watch.addOutput(std::move(jsonl));
        }
        if (!stdoutTaken)
            watch.addOutput(std::make_unique<TerminalWatchOutput>());
        if (metrics.enabled())
            watch.addOutput(metrics.output(session.portName()));
        MqttPublisher *publisher = nullptr;
        if (mqtt.enabled()) {
            auto owned = std::make_unique<MqttPublisher>(mqtt);
            owned->setQueueCapacity(qMax(100, MqttQueueMs / settings.intervalMs));
            QObject::connect(owned.get(), &MqttPublisher::warning,
                             [](const QString &text) { Console::error(QStringLiteral("watch: %1").arg(text)); });
            if (owned->start(MqttStartWaitMs, &error) != MqttPublisher::Started) {
                Console::error(QStringLiteral("watch: %1").arg(error));
                return ExitCode::BrokerRefused;
            }
            publisher = owned.get();
            // A port that is gone counts as lost at once.
            watch.addOutput(std::make_unique<MqttWatchOutput>(std::move(owned), [&session, &watch] {
                return watch.portOpen() ? session.consecutiveFailures() : std::numeric_limits<quint32>::max();
            }));
        }
        // From here SIGHUP reopens the files (between polls) instead of
        // ending the watch.
        SignalEvents::setHangupReopens(true);
        code = watch.run();
        SignalEvents::setHangupReopens(false);
        if (code != ExitCode::Done)
            Console::error(QStringLiteral("watch: %1").arg(watch.errorText()));
        if (publisher) {
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
