#include "CtlCommand.h"

#include "Console.h"
#include "CtlCommands.h"
#include "DevStatusCache.h"
#include "DeviceSession.h"
#include "ExitCode.h"
#include "PlCommand.h"
#include "StatusSchema.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace CtlArgs {

QString negativeMark()
{
    return QStringLiteral("\x01neg");
}

QString withoutMark(const QString &text)
{
    QString plain = text;
    return plain.remove(negativeMark());
}

bool parseInt(const QString &text, qint64 min, qint64 max, const QString &what, qint64 *value, QString *error)
{
    bool ok = false;
    const qint64 v = text.toLongLong(&ok, 10);
    if (!ok || v < min || v > max) {
        *error = QStringLiteral("%1 must be a whole number from %2 to %3, not \"%4\"").arg(what).arg(min).arg(max).arg(text);
        return false;
    }
    *value = v;
    return true;
}

bool parseValue(const QString &text, CommandWord word, qint64 *sent, QString *error)
{
    const QString typed = withoutMark(text);
    // Typed values are plain decimals: "1e2" is no whole number to a person
    // at a terminal, whatever it means to a JSON reader. The catalogue words
    // the refusal (a text it cannot read), then the typed text is put back.
    if (typed.contains(QLatin1Char('e'), Qt::CaseInsensitive)) {
        const QString unreadable = QStringLiteral("\x02");
        CommandCatalogue::parse(word, unreadable, sent, error);
        error->replace(unreadable, typed);
        return false;
    }
    return CommandCatalogue::parse(word, typed, sent, error);
}

bool parseOnOff(const QString &text, const QString &what, bool *on, QString *error)
{
    if (text == QLatin1String("on") || text == QLatin1String("off")) {
        *on = text == QLatin1String("on");
        return true;
    }
    *error = QStringLiteral("%1 takes on or off, not \"%2\"").arg(what, text);
    return false;
}

QList<int> transferBaudRates()
{
    return {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
}

bool expectArgs(const CtlContext &ctx, int count, const QString &usage, QString *error)
{
    if (ctx.args.size() == count)
        return true;
    *error = QStringLiteral("usage: korvexctl %1").arg(usage);
    return false;
}

} // namespace CtlArgs

namespace {

QString resultWord(int code)
{
    switch (code) {
    case ExitCode::Done: return QStringLiteral("done");
    case ExitCode::Aborted: return QStringLiteral("stopped");
    case ExitCode::NoReply: return QStringLiteral("no reply");
    case ExitCode::PortNotOpened: return QStringLiteral("port not opened");
    default: return QStringLiteral("refused");
    }
}

// The value the unit reports for a write, or an exit code when it could not be read.
int readBack(DeviceSession &session, const DeviceWrite &w, QJsonValue *reported)
{
    if (w.pidReadBack) {
        QVector<quint32> pid;
        const int code = session.readPid(pid);
        if (code == ExitCode::Done)
            *reported = QJsonArray{qint32(pid.value(2)), qint32(pid.value(3)), qint32(pid.value(4))};
        return code;
    }
    DevStatusCache status;
    const int code = session.readStatus(status);
    if (code == ExitCode::Done)
        *reported = w.reported(status);
    return code;
}

} // namespace

int runDeviceWrite(const CtlContext &ctx, const DeviceWrite &w)
{
    const bool json = ctx.isSet("json");
    const bool verify = ctx.isSet("verify");
    if (verify && !w.reported && !w.pidReadBack)
        return badArguments(QStringLiteral("%1: the unit reports nothing to verify it by").arg(w.what));
    DeviceSession session(ctx.line);
    int code = session.open();
    if (code == ExitCode::Done)
        code = session.write(w.command);
    // The device acknowledged the write: whatever the read-back finds, the
    // result stays "done" and the verdict goes into "verified".
    const bool acknowledged = code == ExitCode::Done;
    QJsonObject o{{QStringLiteral("command"), w.what}, {QStringLiteral("sent"), w.sent}};
    QString error = code == ExitCode::Done ? QString() : session.errorText();
    if (code == ExitCode::Done && verify) {
        QJsonValue reported;
        code = readBack(session, w, &reported);
        if (code != ExitCode::Done) {
            error = QStringLiteral("written, but the read-back was lost: ") + session.errorText();
            o.insert(QStringLiteral("verified"), QJsonValue::Null);
        } else {
            const QJsonValue expected = w.pidReadBack ? w.sent.toObject().value(QStringLiteral("words")) : w.sent;
            const bool same = reported == expected;
            o.insert(QStringLiteral("reported"), reported);
            o.insert(QStringLiteral("verified"), same);
            if (!same) {
                code = ExitCode::Failed;
                error = QStringLiteral("the unit reports %1, not what was written")
                            .arg(QString::fromUtf8(QJsonDocument(QJsonArray{reported}).toJson(QJsonDocument::Compact)).mid(1).chopped(1));
            }
        }
    }
    o.insert(QStringLiteral("result"), acknowledged ? QStringLiteral("done") : resultWord(code));
    o.insert(QStringLiteral("exit_code"), code);
    if (!error.isEmpty())
        o.insert(QStringLiteral("error"), error);
    if (json)
        printJson(o);
    if (code != ExitCode::Done) {
        Console::error(QStringLiteral("%1: %2").arg(w.what, error));
        return code;
    }
    if (!json)
        Console::out(QStringLiteral("%1: done%2").arg(w.what, verify ? QStringLiteral(" (verified)") : QString()));
    return ExitCode::Done;
}

int runDeviceWrite(const CtlContext &ctx, const QString &what, const std::function<quint8(PlCommand &)> &command)
{
    DeviceWrite w;
    w.what = what;
    w.command = command;
    return runDeviceWrite(ctx, w);
}

int badArguments(const QString &message)
{
    Console::error(CtlArgs::withoutMark(message));
    return ExitCode::BadArguments;
}

QJsonObject failureJson(const QString &command, int exitCode, const QString &error)
{
    return {{QStringLiteral("command"), command}, {QStringLiteral("exit_code"), exitCode}, {QStringLiteral("error"), error}};
}

void printJson(const QJsonObject &object)
{
    Console::out(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

std::function<QJsonValue(const DevStatusCache &)> reportedBy(CommandWord word)
{
    // One number in its typed unit (the field's divisor is the row's
    // 10^decimals); a write that several fields report is verified elsewhere.
    const QVector<const StatusSchema::Field *> fields = CommandCatalogue::reportingFields(word);
    if (fields.size() != 1 || fields.first()->kind != StatusSchema::Kind::Number)
        return nullptr;
    const StatusSchema::Field *field = fields.first();
    return [field](const DevStatusCache &s) { return QJsonValue(StatusSchema::value(*field, s)); };
}

CtlCommand catalogueSetter(CommandWord word)
{
    const CommandRow &row = CommandCatalogue::row(word);
    const QString sets = QString::fromUtf8(row.sets);
    CtlCommand c;
    c.name = QString::fromLatin1(row.name);
    c.summary = QStringLiteral("set ") + sets;
    c.usage = c.name + QStringLiteral(" N");
    c.description = QStringLiteral("Sets %1, %2.").arg(sets, CommandCatalogue::rangeText(word));
    c.factory = row.factory;
    c.setter = true;
    c.verifiable = reportedBy(word) != nullptr;
    c.run = [word, usage = c.usage, name = c.name](CtlContext &ctx) {
        QString error;
        qint64 value = 0;
        if (!CtlArgs::expectArgs(ctx, 1, usage, &error) || !CtlArgs::parseValue(ctx.args.at(0), word, &value, &error))
            return badArguments(error);
        const int decimals = CommandCatalogue::row(word).decimals;
        return runDeviceWrite(ctx, {name + QLatin1Char(' ') + CommandCatalogue::typedText(word, value),
                                    decimals ? QJsonValue(CommandCatalogue::typedValue(word, value)) : QJsonValue(value),
                                    [word, value](PlCommand &p) { return p.execWrite(word, {quint32(value)}); },
                                    reportedBy(word)});
    };
    return c;
}

QVector<CtlCommand> withCatalogueSetters(QVector<CtlCommand> commands, bool factory)
{
    for (const CommandRow *row : CommandCatalogue::rows()) {
        const bool given = std::any_of(commands.cbegin(), commands.cend(),
                                       [row](const CtlCommand &c) { return c.name == QLatin1String(row->name); });
        if (row->sets && row->factory == factory && !given)
            commands.append(catalogueSetter(row->word));
    }
    return commands;
}
