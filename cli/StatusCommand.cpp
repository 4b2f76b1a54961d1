// korvexctl status [--json]: one all-status query.

#include "Console.h"
#include "CtlCommands.h"
#include "DeviceSession.h"
#include "ExitCode.h"
#include "StatusRecord.h"
#include "StatusSchema.h"
#include "StatusText.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// Words filled into lines of at most 80 characters.
QString wrapped(const QString &text)
{
    QStringList lines{QString()};
    for (const QString &word : text.split(QLatin1Char(' '))) {
        if (!lines.last().isEmpty() && lines.last().size() + 1 + word.size() > 80)
            lines.append(QString());
        lines.last() += (lines.last().isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

CtlCommand statusCommand()
{
    CtlCommand c;
    c.name = QStringLiteral("status");
    c.summary = QStringLiteral("read the device status once");
    c.usage = QStringLiteral("status [--json] [--check]");
    c.description = wrapped(
        QStringLiteral("Asks the device for its whole status once and prints the %1 values with units "
                       "and the six lamps as words, or with --json one JSON object (keys: %2; and "
                       "\"diagnostics\" with line_noise_bytes when the line carried stray bytes beside the "
                       "reply, which are noise and no failure). "
                       "With --check the exit code gates a line: 0 when no alarm is set, 7 when one is, "
                       "with a line on stderr naming them (temperature, fan1, fan2, fan3).")
            .arg(std::count_if(StatusSchema::fields().begin(), StatusSchema::fields().end(),
                               [](const StatusSchema::Field &f) { return f.kind != StatusSchema::Kind::Flag; }))
            .arg(StatusRecord::jsonKeysText()));
    c.addOptions = [](QCommandLineParser &p) {
        p.addOption({QStringLiteral("json"), QStringLiteral("Print one JSON object.")});
        p.addOption({QStringLiteral("check"), QStringLiteral("Exit 7 when an alarm is set (0 when none).")});
    };
    c.run = [](CtlContext &ctx) {
        if (!ctx.args.isEmpty())
            return badArguments(QStringLiteral("usage: korvexctl status [--json] [--check]"));
        DeviceSession session(ctx.line);
        DevStatusCache cache;
        int code = session.open();
        if (code == ExitCode::Done)
            code = session.readStatus(cache);
        if (code != ExitCode::Done) {
            Console::error(QStringLiteral("status: %1").arg(session.errorText()));
            return code;
        }
        if (ctx.isSet("json")) {
            QJsonObject json = StatusRecord::statusJson(cache);
            // Only when there is something to say: a clean line adds nothing.
            if (const quint64 noise = session.lineNoiseBytes())
                json.insert(QStringLiteral("diagnostics"), QJsonObject{{QStringLiteral("line_noise_bytes"), qint64(noise)}});
            Console::outText(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented)));
        }
        else
            Console::out(StatusText::lines(cache).join(QLatin1Char('\n')));
        if (ctx.isSet("check")) {
            // Named as in the JSON object's "alarms".
            QStringList alarms;
            for (const StatusSchema::Field &f : StatusSchema::fields()) {
                const QString place = QLatin1String(f.json);
                if (place.startsWith(QLatin1String("alarms.")) && StatusSchema::raw(f, cache))
                    alarms << place.section(QLatin1Char('.'), 1);
            }
            if (!alarms.isEmpty()) {
                Console::error(QStringLiteral("status: alarms set: %1").arg(alarms.join(QStringLiteral(", "))));
                return ExitCode::AlarmSet;
            }
        }
        return ExitCode::Done;
    };
    return c;
}
