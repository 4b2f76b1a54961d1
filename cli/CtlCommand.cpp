#include "CtlCommand.h"

#include "Console.h"
#include "DeviceSession.h"
#include "ExitCode.h"

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
    return CommandCatalogue::parse(word, withoutMark(text), sent, error);
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

int runDeviceWrite(const CtlContext &ctx, const QString &what, const std::function<quint8(PlCommand &)> &command)
{
    DeviceSession session(ctx.line);
    int code = session.open();
    if (code == ExitCode::Done)
        code = session.write(command);
    if (code != ExitCode::Done) {
        Console::error(QStringLiteral("%1: %2").arg(what, session.errorText()));
        return code;
    }
    Console::out(QStringLiteral("%1: done").arg(what));
    return ExitCode::Done;
}

int badArguments(const QString &message)
{
    Console::error(CtlArgs::withoutMark(message));
    return ExitCode::BadArguments;
}
