#include "KorvexCtl.h"

#include "Console.h"
#include "CtlCommands.h"
#include "ExitCode.h"
#include "PortCheck.h"
#include "SPComm.h"
#include "SignalEvents.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <functional>

namespace {

QStringList hideNegativeNumbers(const QStringList &args)
{
    static const QRegularExpression number(QStringLiteral("^-[0-9.]"));
    QStringList out;
    for (const QString &a : args)
        out.append(number.match(a).hasMatch() ? CtlArgs::negativeMark() + a : a);
    return out;
}

QStringList restoreNegativeNumbers(const QStringList &args)
{
    QStringList out;
    for (const QString &a : args)
        out.append(CtlArgs::withoutMark(a));
    return out;
}

void addHelpAndVersion(QCommandLineParser &p)
{
    p.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")});
    p.addOption({QStringLiteral("version"), QStringLiteral("Show the version.")});
    // Every command's help in one text, for the manual page.
    QCommandLineOption all(QStringLiteral("help-all"), QStringLiteral("Show the help of every command."));
    all.setFlags(QCommandLineOption::HiddenFromHelp);
    p.addOption(all);
}

// The command a run names, for its --json failure object: the first word
// that is a command (arguments of options are never one, a port is no command).
QString commandNamed(const QStringList &args, const std::function<bool(const QString &)> &isCommand)
{
    for (const QString &a : args)
        if (isCommand(a))
            return a;
    return QStringLiteral("korvexctl");
}

void addSetterOptions(const CtlCommand &c, QCommandLineParser &p)
{
    if (!c.setter)
        return;
    p.addOption({QStringLiteral("json"),
                 QStringLiteral("Print one JSON object: command, sent, result (done|refused|no reply|port not "
                                "opened|stopped), exit_code, error; with --verify also reported and verified "
                                "(true, false, or null when the write was done but its read-back was lost).")});
    QCommandLineOption verify(QStringLiteral("verify"),
                              QStringLiteral("Read the value back from the unit; exit 5 when it does not report what "
                                             "was written."));
    // Known to the parser either way, so that the command itself refuses it
    // with its reason; offered in the help only where the status reports the value.
    if (!c.verifiable)
        verify.setFlags(QCommandLineOption::HiddenFromHelp);
    p.addOption(verify);
}

const char *ExitCodeText =
    "Exit codes: 0 done; 2 bad arguments (nothing was sent); 3 aborted or cancelled\n"
    "(SIGINT or SIGTERM: no frame is sent after it); 4 no valid reply or timed out;\n"
    "5 refused by the device or failed, or the results could not be written to stdout;\n"
    "6 the port could not be opened (watch --mqtt: or the broker refused the login or\n"
    "its certificate at start; watch --metrics: or its address cannot be listened on);\n"
    "7 status --check: an alarm is set.\n"
    "Results go to stdout, errors to stderr (one line each).\n";

} // namespace

std::atomic<bool> &KorvexCtl::stopRequested()
{
    return SignalEvents::pending();
}

namespace {
bool g_stderrIsTerminal = false;
}

bool KorvexCtl::stderrIsTerminal()
{
    return g_stderrIsTerminal;
}

void KorvexCtl::setStderrIsTerminal(bool terminal)
{
    g_stderrIsTerminal = terminal;
}

KorvexCtl::KorvexCtl()
{
    commands.append(portsCommand());
    commands.append(statusCommand());
    commands.append(watchCommand());
    commands += operatorCommands();
    commands += factoryCommands();
    commands.append(serialNumberCommand());
    commands.append(pidCommand());
    commands.append(profileCommand());
    commands += transferCommands();
    commands.append(flashCommand());
    commands.append(testCommand());
}

const CtlCommand *KorvexCtl::find(const QString &name) const
{
    for (const CtlCommand &c : commands)
        if (c.name == name)
            return &c;
    return nullptr;
}

QString KorvexCtl::generalHelp() const
{
    QCommandLineParser p;
    LineOptions::addTo(p);
    addHelpAndVersion(p);
    QString text = QStringLiteral(
        "Usage: korvexctl [--port NAME] [--baud N] [--stop-bits 1|1.5|2] [--parity none|odd|even]\n"
        "                 [--retries N] [--timeout MS] [--factory] COMMAND [ARGS...]\n"
        "\n"
        "Talks to a Korvex laser light source on a serial line, as the window program does,\n"
        "from scripts and production lines. --port is required except for \"ports\"; the\n"
        "options may also follow the command.\n"
        "\n"
        "One unit per command: a second --port must lead to the same device (a link and its\n"
        "target are one port); only flash takes several. The device link runs at 1200 to\n"
        "115200 baud; send, receive and flash up to 921600. A reply may take --timeout MS\n"
        "(default 100) plus the time its bytes need at the rate. Every value is checked\n"
        "against the range the window allows, on every path (commands, profiles).\n"
        "Setters take --json (one object: command, sent, result, exit_code, error) and,\n"
        "where the status reports the value, --verify (read back: reported, verified; exit 5\n"
        "when the unit does not report the value). With --json every failure prints one\n"
        "object too (command, exit_code, error), bad arguments and unopenable ports\n"
        "included.\n"
        "status --check exits 7 when an alarm is set. SIGINT and SIGTERM stop a command\n"
        "before its next frame (exit 3). Values are typed as plain decimals (1e2 is refused).\n"
        "\n");
    // The option list as the parser formats it, without its own usage line.
    QString options = p.helpText();
    options = options.mid(options.indexOf(QStringLiteral("Options:")));
    text += options + QLatin1Char('\n');
    text += QStringLiteral("Commands:\n");
    for (const CtlCommand &c : commands)
        text += QStringLiteral("  %1\n      %2%3\n")
                    .arg(c.usage, c.summary, c.factory ? QStringLiteral(" (factory)") : QString());
    text += QStringLiteral(
        "\nFactory commands are refused unless --factory is given.\n"
        "\"korvexctl help COMMAND\" describes one command.\n\n");
    text += QLatin1String(ExitCodeText);
    return text;
}

QString KorvexCtl::allHelp() const
{
    QString text = generalHelp();
    for (const CtlCommand &c : commands)
        text += QStringLiteral("\nCommand %1:\n\n").arg(c.name) + commandHelp(c, false);
    return text;
}

QString KorvexCtl::commandHelp(const CtlCommand &c, bool withSharedText) const
{
    QCommandLineParser p;
    if (c.addOptions)
        c.addOptions(p);
    addSetterOptions(c, p);
    QString text = QStringLiteral("Usage: korvexctl [OPTIONS] %1\n\n%2\n").arg(c.usage, c.description);
    if (c.factory)
        text += QStringLiteral("\nA factory command: refused unless --factory is given.\n");
    if (c.setter && !c.verifiable)
        text += QStringLiteral("\n--verify is refused (exit 2): the status does not report this value.\n");
    if (c.eightN1)
        text += QStringLiteral("\nThe line is 8N1: --parity other than none and --stop-bits other than 1 are refused.\n");
    const QString own = p.helpText();
    const int at = own.indexOf(QStringLiteral("Options:"));
    if (at >= 0)
        text += QLatin1Char('\n') + own.mid(at);
    if (!withSharedText)
        return text;
    text += QStringLiteral("\nShared options: --port NAME, --baud N, --stop-bits, --parity, --retries N, --timeout MS,\n"
                           "--factory (see korvexctl --help).\n\n");
    text += QLatin1String(ExitCodeText);
    return text;
}

int KorvexCtl::run(const QStringList &arguments)
{
    const int code = dispatch(arguments);
    // --json promises one object on stdout: a run that failed before its
    // command printed one (bad arguments, a port that does not open) gets it here.
    if (code != ExitCode::Done && arguments.contains(QStringLiteral("--json")) && !Console::anythingOut())
        printJson(failureJson(commandNamed(arguments, [this](const QString &a) { return find(a) != nullptr; }), code,
                              Console::lastError()));
    return code;
}

int KorvexCtl::dispatch(const QStringList &arguments)
{
    const QStringList args = hideNegativeNumbers(arguments);
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Everything from the command on is the command's to parse.
    p.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    LineOptions::addTo(p);
    addHelpAndVersion(p);
    if (!p.parse(QStringList{QStringLiteral("korvexctl")} + args))
        return badArguments(p.errorText() + QStringLiteral(" (see korvexctl --help)"));
    if (p.isSet(QStringLiteral("help-all"))) {
        Console::outText(allHelp());
        return ExitCode::Done;
    }
    if (p.isSet(QStringLiteral("version"))) {
        Console::out(QStringLiteral("korvexctl %1").arg(QCoreApplication::applicationVersion()));
        return ExitCode::Done;
    }
    const QStringList positional = p.positionalArguments();
    if (p.isSet(QStringLiteral("help")) && positional.isEmpty()) {
        Console::outText(generalHelp());
        return ExitCode::Done;
    }
    if (positional.isEmpty())
        return badArguments(QStringLiteral("no command given (see korvexctl --help)"));

    const QString name = positional.first();
    if (name == QLatin1String("help")) {
        if (positional.size() < 2 || positional.at(1) == QLatin1String("help")) {
            Console::outText(generalHelp());
            return ExitCode::Done;
        }
        const CtlCommand *c = find(positional.at(1));
        if (!c)
            return badArguments(QStringLiteral("no command \"%1\" (see korvexctl --help)").arg(positional.at(1)));
        Console::outText(commandHelp(*c));
        return ExitCode::Done;
    }
    const CtlCommand *command = find(name);
    if (!command)
        return badArguments(QStringLiteral("no command \"%1\" (see korvexctl --help)").arg(name));

    LineOptions line;
    QString error;
    if (!line.readFrom(p, &error))
        return badArguments(error);
    if (p.isSet(QStringLiteral("help"))) {
        Console::outText(commandHelp(*command));
        return ExitCode::Done;
    }
    return runCommand(*command, line, positional.mid(1));
}

int KorvexCtl::runCommand(const CtlCommand &command, const LineOptions &shared, const QStringList &rest)
{
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    LineOptions::addTo(p);
    addHelpAndVersion(p);
    if (command.addOptions)
        command.addOptions(p);
    addSetterOptions(command, p);
    if (!p.parse(QStringList{QStringLiteral("korvexctl")} + rest))
        return badArguments(QStringLiteral("%1: %2 (see korvexctl help %1)").arg(command.name, p.errorText()));
    if (p.isSet(QStringLiteral("help"))) {
        Console::outText(commandHelp(command));
        return ExitCode::Done;
    }
    CtlContext ctx;
    ctx.line = shared;
    QString error;
    if (!ctx.line.readFrom(p, &error))
        return badArguments(error);
    if (command.factory && !ctx.line.factory)
        return badArguments(QStringLiteral("%1 is a factory command: add --factory").arg(command.name));
    if (command.eightN1 && (ctx.line.parity != QLatin1String("none") || ctx.line.stopBits != QLatin1String("1")))
        return badArguments(QStringLiteral("%1 runs YModem on an 8N1 line: --parity %2 --stop-bits %3 cannot be used")
                                .arg(command.name, ctx.line.parity, ctx.line.stopBits));
    if (command.needsPort && ctx.line.port().isEmpty())
        return badArguments(QStringLiteral("%1 needs --port NAME").arg(command.name));
    // One unit per command: two names of one device are one port, two
    // devices are a mistake that must not write to the wrong one.
    const QString other = command.manyPorts ? QString() : PortCheck::otherDevice(ctx.line.ports);
    if (!other.isEmpty())
        return badArguments(QStringLiteral("%1 talks to one unit: --port %2 and --port %3 are different devices")
                                .arg(command.name, ctx.line.ports.first(), other));
    const QList<int> rates = command.baudRates.isEmpty() ? SPComm::supportedBaudRates() : command.baudRates;
    if (!rates.contains(ctx.line.baud)) {
        QStringList names;
        for (int r : rates)
            names << QString::number(r);
        return badArguments(QStringLiteral("%1 cannot use %2 baud; the rates are %3")
                                .arg(command.name).arg(ctx.line.baud).arg(names.join(QStringLiteral(", "))));
    }
    ctx.parser = &p;
    ctx.args = restoreNegativeNumbers(p.positionalArguments());
    if (!runCommands)
        return ExitCode::Done;
    return command.run(ctx);
}
