// korvexctl pid get|set: the PID window's coefficients from the command line.

#include "Console.h"
#include "CtlCommands.h"
#include "DeviceSession.h"
#include "ExitCode.h"
#include "PidMath.h"
#include "PlCommand.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Coefficients travel as signed 32-bit words scaled by 10000.
double coefficient(quint32 word) { return qint32(word) / double(PidMath::CoefficientScale); }

int pidGet(CtlContext &ctx)
{
    DeviceSession session(ctx.line);
    QVector<quint32> values;
    int code = session.open();
    if (code == ExitCode::Done)
        code = session.readPid(values);
    if (code != ExitCode::Done) {
        Console::error(QStringLiteral("pid get: %1").arg(session.errorText()));
        return code;
    }
    if (ctx.isSet("json")) {
        const QJsonObject o{
            {QStringLiteral("temperature"), qint32(values.at(0))},
            {QStringLiteral("output"), double(values.at(1))},
            {QStringLiteral("kp"), coefficient(values.at(2))},
            {QStringLiteral("ki"), coefficient(values.at(3))},
            {QStringLiteral("kd"), coefficient(values.at(4))},
        };
        Console::outText(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented)));
        return ExitCode::Done;
    }
    Console::out(QStringLiteral("Temperature value: %1").arg(qint32(values.at(0))));
    Console::out(QStringLiteral("Output (PWM):      %1").arg(values.at(1)));
    Console::out(QStringLiteral("KP:                %1").arg(coefficient(values.at(2)), 0, 'f', 4));
    Console::out(QStringLiteral("KI:                %1").arg(coefficient(values.at(3)), 0, 'f', 4));
    Console::out(QStringLiteral("KD:                %1").arg(coefficient(values.at(4)), 0, 'f', 4));
    return ExitCode::Done;
}

int pidSet(CtlContext &ctx)
{
    const QStringList texts = ctx.args.mid(1);
    static const char *const names[] = {"KP", "KI", "KD"};
    QVector<quint32> words(3, 0);
    for (int i = 0; i < 3; ++i) {
        QString error;
        // Scaled exactly as the PID window and profiles scale a coefficient.
        if (texts.at(i).trimmed().isEmpty() || !PidMath::parseCoefficient(texts.at(i), &words[i], &error))
            return badArguments(QStringLiteral("pid set: %1 must be a number from %2 with at most 4 decimals, not \"%3\"")
                                    .arg(QLatin1String(names[i]), CommandCatalogue::rangeText(CommandWord::PidCoefficients),
                                         texts.at(i)));
    }
    DeviceWrite write;
    write.what = QStringLiteral("pid set KP %1 KI %2 KD %3 (words %4 %5 %6)")
                     .arg(texts.at(0), texts.at(1), texts.at(2))
                     .arg(qint32(words.at(0)))
                     .arg(qint32(words.at(1)))
                     .arg(qint32(words.at(2)));
    write.sent = QJsonObject{{QStringLiteral("kp"), coefficient(words.at(0))},
                             {QStringLiteral("ki"), coefficient(words.at(1))},
                             {QStringLiteral("kd"), coefficient(words.at(2))},
                             {QStringLiteral("words"), QJsonArray{qint32(words.at(0)), qint32(words.at(1)), qint32(words.at(2))}}};
    write.command = [words](PlCommand &p) { return p.setPidValue(words); };
    write.pidReadBack = true;
    return runDeviceWrite(ctx, write);
}

} // namespace

CtlCommand pidCommand()
{
    CtlCommand c;
    c.name = QStringLiteral("pid");
    c.summary = QStringLiteral("read or set the PID coefficients");
    c.usage = QStringLiteral("pid get [--json] | pid set KP KI KD [--json] [--verify]");
    c.description = QStringLiteral(
        "pid get reads the device's PID status: the temperature value, the output (PWM)\n"
        "and the coefficients KP, KI, KD. pid set sends new coefficients, scaled by 10000 as\n"
        "the PID window and profiles do (1.5 goes out as 15000), each %1 with at most four\n"
        "decimals; anything else (nan, inf, 1e30, 0.00005) is refused.")
                        .arg(CommandCatalogue::rangeText(CommandWord::PidCoefficients));
    c.factory = true;
    c.addOptions = [](QCommandLineParser &p) {
        p.addOption({QStringLiteral("json"), QStringLiteral("Print one JSON object (pid get: temperature, output, kp, ki, kd; "
                                                            "pid set: as every setter, sent holding kp, ki, kd and words).")});
        p.addOption({QStringLiteral("verify"), QStringLiteral("pid set: read the coefficients back; exit 5 when the unit "
                                                              "does not report the words written.")});
    };
    c.run = [](CtlContext &ctx) {
        if (ctx.args.size() == 1 && ctx.args.at(0) == QLatin1String("get"))
            return pidGet(ctx);
        if (ctx.args.size() == 4 && ctx.args.at(0) == QLatin1String("set"))
            return pidSet(ctx);
        return badArguments(QStringLiteral("usage: korvexctl --factory pid get [--json] | pid set KP KI KD"));
    };
    return c;
}
