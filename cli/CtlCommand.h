#ifndef KORVEX_CTLCOMMAND_H
#define KORVEX_CTLCOMMAND_H

#include "CommandCatalogue.h"
#include "LineOptions.h"

#include <QCommandLineParser>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <functional>

class PlCommand;
struct DevStatusCache;
struct CtlContext;

// Helpers shared by the commands.
namespace CtlArgs {

// QCommandLineParser takes "-5" for an option; korvexctl hides negative
// numbers (a PID coefficient) behind this mark while parsing.
QString negativeMark();
QString withoutMark(const QString &text);

// A decimal integer in [min, max]; false with *error set otherwise.
bool parseInt(const QString &text, qint64 min, qint64 max, const QString &what, qint64 *value, QString *error);
// A value of a device command, as the command catalogue parses and checks
// it for every path: *sent is the value as sent (a threshold in tenths).
bool parseValue(const QString &text, CommandWord word, qint64 *sent, QString *error);
// "on" or "off".
bool parseOnOff(const QString &text, const QString &what, bool *on, QString *error);
// The rates a YModem transfer line can use (8N1, 1200 to 921600 baud).
QList<int> transferBaudRates();
// Exactly `count` words after the command, or *error.
bool expectArgs(const CtlContext &ctx, int count, const QString &usage, QString *error);

} // namespace CtlArgs

// What a korvexctl command gets when it runs: the shared line options, its
// own parsed options and its words after the command name.
struct CtlContext
{
    LineOptions line;
    const QCommandLineParser *parser = nullptr;
    QStringList args;

    bool isSet(const char *option) const { return parser->isSet(QLatin1String(option)); }
    QString value(const char *option) const { return CtlArgs::withoutMark(parser->value(QLatin1String(option))); }
};

// One korvexctl command: its name, one-line usage and description, its own
// options and the function that runs it and returns an ExitCode value.
struct CtlCommand
{
    QString name;
    QString summary;     // a few words for the command list
    QString usage;       // e.g. "laser on|off"
    QString description; // what it does, for the help texts
    bool factory = false;  // refused without --factory
    bool needsPort = true;
    bool manyPorts = false;  // takes several --port (one unit per port)
    bool setter = false;     // one write: takes --json and --verify
    bool verifiable = false; // the status reports its value: --verify is offered
    bool eightN1 = false;    // a YModem line: 8 data bits, no parity, 1 stop bit only
    // The line rates it can use; empty: those of the device link.
    QList<int> baudRates;
    std::function<void(QCommandLineParser &)> addOptions;
    std::function<int(CtlContext &)> run;
};

// One write of a setter: what it is called, the value as given, the
// executor call, and how the unit reports the value back (for --verify;
// null when nothing reports it).
struct DeviceWrite
{
    QString what;     // "power 640"
    QJsonValue sent;  // 640
    std::function<quint8(PlCommand &)> command;
    std::function<QJsonValue(const DevStatusCache &)> reported;
    bool pidReadBack = false; // reported from the PID reply (elements 2..4 as sent)
};

// Opens the device, runs one write and reports "<what>: done" on stdout (or,
// with --json, one object: command, sent, result, exit_code, and with
// --verify reported and verified) or the failure on stderr. --verify reads
// the value back and fails (5) when the unit does not report what was
// written. Returns the ExitCode value.
int runDeviceWrite(const CtlContext &ctx, const DeviceWrite &write);
int runDeviceWrite(const CtlContext &ctx, const QString &what, const std::function<quint8(PlCommand &)> &command);
// Prints a bad-argument line and returns ExitCode::BadArguments.
int badArguments(const QString &message);
// The --json object of a run that failed before its command printed one.
QJsonObject failureJson(const QString &command, int exitCode, const QString &error);
// A JSON object as one compact line on stdout.
void printJson(const QJsonObject &object);

#endif
