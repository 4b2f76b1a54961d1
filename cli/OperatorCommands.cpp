// The operator's commands: those of the main window's settings area that
// every user may use.

#include "CtlCommands.h"
#include "DevStatusCache.h"
#include "PlCommand.h"

namespace {

CtlCommand laser()
{
    CtlCommand c;
    c.name = QStringLiteral("laser");
    c.summary = QStringLiteral("switch the light source on or off");
    c.usage = QStringLiteral("laser on|off");
    c.description = QStringLiteral("Switches the light source on or off.");
    c.setter = true;
    c.verifiable = true;
    c.run = [](CtlContext &ctx) {
        QString error;
        bool on = false;
        if (!CtlArgs::expectArgs(ctx, 1, QStringLiteral("laser on|off"), &error)
            || !CtlArgs::parseOnOff(ctx.args.at(0), QStringLiteral("laser"), &on, &error))
            return badArguments(error);
        return runDeviceWrite(ctx, {QStringLiteral("laser %1").arg(ctx.args.at(0)), ctx.args.at(0),
                                    [on](PlCommand &p) { return p.turnOnOffLd(on ? 1 : 0); },
                                    [](const DevStatusCache &s) { return QJsonValue(s.ldOn ? "on" : "off"); }});
    };
    return c;
}

CtlCommand threshold()
{
    CtlCommand c;
    c.name = QStringLiteral("threshold");
    c.summary = QStringLiteral("set the temperature protection threshold");
    c.usage = QStringLiteral("threshold DEGREES");
    c.description = QStringLiteral(
        "Sets the temperature protection threshold in degrees Celsius with at most one\n"
        "decimal, %1 (as the main window allows); it is sent in tenths.")
                        .arg(CommandCatalogue::rangeText(CommandWord::TempThreshold));
    c.setter = true;
    c.verifiable = true;
    c.run = [](CtlContext &ctx) {
        QString error;
        qint64 tenths = 0;
        if (!CtlArgs::expectArgs(ctx, 1, QStringLiteral("threshold DEGREES"), &error)
            || !CtlArgs::parseValue(ctx.args.at(0), CommandWord::TempThreshold, &tenths, &error))
            return badArguments(error);
        const auto degrees = [](qint64 sent) { return CommandCatalogue::typedValue(CommandWord::TempThreshold, sent); };
        return runDeviceWrite(ctx, {QStringLiteral("threshold %1").arg(CommandCatalogue::typedText(CommandWord::TempThreshold, tenths)),
                                    degrees(tenths), [tenths](PlCommand &p) { return p.setTempThreshold(qint16(tenths)); },
                                    [degrees](const DevStatusCache &s) { return QJsonValue(degrees(s.tempThreshold)); }});
    };
    return c;
}

CtlCommand restart()
{
    CtlCommand c;
    c.name = QStringLiteral("restart");
    c.summary = QStringLiteral("restart the device");
    c.usage = QStringLiteral("restart");
    c.description = QStringLiteral("Restarts the device (the window's restart button).");
    c.setter = true;
    c.run = [](CtlContext &ctx) {
        QString error;
        if (!CtlArgs::expectArgs(ctx, 0, QStringLiteral("restart"), &error))
            return badArguments(error);
        return runDeviceWrite(ctx, QStringLiteral("restart"), [](PlCommand &p) { return p.softResetDev(); });
    };
    return c;
}

CtlCommand clearCounters()
{
    CtlCommand c;
    c.name = QStringLiteral("clear-counters");
    c.summary = QStringLiteral("set the frame counters to 0");
    c.usage = QStringLiteral("clear-counters");
    c.description = QStringLiteral("Sets the device's received and sent frame counters to 0.");
    c.setter = true;
    c.run = [](CtlContext &ctx) {
        QString error;
        if (!CtlArgs::expectArgs(ctx, 0, QStringLiteral("clear-counters"), &error))
            return badArguments(error);
        return runDeviceWrite(ctx, QStringLiteral("clear-counters"),
                              [](PlCommand &p) { return p.setDevFrameNum(0, 0); });
    };
    return c;
}

} // namespace

QVector<CtlCommand> operatorCommands()
{
    // The catalogue's setters follow the commands written by hand.
    return withCatalogueSetters({laser(), catalogueSetter(CommandWord::Power), threshold(), restart(), clearCounters()}, false);
}
