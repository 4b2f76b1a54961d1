// The factory commands that write one value: those of the factory-mode
// controls of the main window and of the TEC and fan windows.

#include "CtlCommands.h"
#include "FanCommand.h"
#include "DevStatusCache.h"
#include "PlCommand.h"

namespace {

CtlCommand maxDac()
{
    CtlCommand c;
    c.name = QStringLiteral("max-dac");
    c.summary = QStringLiteral("set the maximum DAC value");
    c.usage = QStringLiteral("max-dac N [--no-save]");
    c.description = QStringLiteral(
        "Sets the maximum DAC value, %1, and saves it in the device; with --no-save\n"
        "it is used until the next restart only (as the window's DAC+ and DAC- buttons do).")
                        .arg(CommandCatalogue::rangeText(CommandWord::MaxDacSaved));
    c.factory = true;
    c.setter = true;
    c.verifiable = true;
    c.addOptions = [](QCommandLineParser &p) {
        p.addOption({QStringLiteral("no-save"), QStringLiteral("Do not save the value in the device.")});
    };
    c.run = [](CtlContext &ctx) {
        QString error;
        qint64 value = 0;
        if (!CtlArgs::expectArgs(ctx, 1, QStringLiteral("max-dac N [--no-save]"), &error)
            || !CtlArgs::parseValue(ctx.args.at(0), CommandWord::MaxDacSaved, &value, &error))
            return badArguments(error);
        const bool save = !ctx.isSet("no-save");
        return runDeviceWrite(ctx, {QStringLiteral("max-dac %1%2").arg(value).arg(save ? QString() : QStringLiteral(" (not saved)")),
                                    value,
                                    [value, save](PlCommand &p) {
                                        return save ? p.setSaveMaxDac(quint16(value)) : p.setNotSaveMaxDac(quint16(value));
                                    },
                                    [](const DevStatusCache &s) { return QJsonValue(s.maxDac); }});
    };
    return c;
}

CtlCommand compensation()
{
    CtlCommand c;
    c.name = QStringLiteral("compensation");
    c.summary = QStringLiteral("set the automatic compensation hours");
    c.usage = QStringLiteral("compensation HOURS");
    c.description = QStringLiteral("Sets the automatic compensation time in hours, %1.")
                        .arg(CommandCatalogue::rangeText(CommandWord::CompensationHours));
    c.factory = true;
    c.setter = true;
    c.verifiable = true;
    c.run = [](CtlContext &ctx) {
        QString error;
        qint64 value = 0;
        if (!CtlArgs::expectArgs(ctx, 1, QStringLiteral("compensation HOURS"), &error)
            || !CtlArgs::parseValue(ctx.args.at(0), CommandWord::CompensationHours, &value, &error))
            return badArguments(error);
        return runDeviceWrite(ctx, {QStringLiteral("compensation %1 h").arg(value), value,
                                    [value](PlCommand &p) { return p.setCompensationHours(quint32(value)); },
                                    [](const DevStatusCache &s) { return QJsonValue(qint64(s.compensationHours)); }});
    };
    return c;
}

CtlCommand laserType()
{
    CtlCommand c;
    c.name = QStringLiteral("laser-type");
    c.summary = QStringLiteral("save the laser type");
    c.usage = QStringLiteral("laser-type 0|1|2");
    c.description = QStringLiteral("Saves the laser type: 0 Ld-25W, 1 Ld-30W, 2 Ld-50W.");
    c.factory = true;
    c.setter = true;
    c.verifiable = true;
    c.run = [](CtlContext &ctx) {
        QString error;
        qint64 value = 0;
        if (!CtlArgs::expectArgs(ctx, 1, QStringLiteral("laser-type 0|1|2"), &error)
            || !CtlArgs::parseValue(ctx.args.at(0), CommandWord::LaserType, &value, &error))
            return badArguments(error);
        return runDeviceWrite(ctx, {QStringLiteral("laser-type %1").arg(value), value,
                                    [value](PlCommand &p) { return p.setLdTypeParam(QByteArray(1, char(value))); },
                                    [](const DevStatusCache &s) { return QJsonValue(qint64(s.ldType)); }});
    };
    return c;
}

CtlCommand tec()
{
    CtlCommand c;
    c.name = QStringLiteral("tec");
    c.summary = QStringLiteral("drive the TEC by hand");
    c.usage = QStringLiteral("tec on|off | tec auto on|off | tec dac N");
    c.description = QStringLiteral(
        "Drives the TEC by hand as the TEC window does: switch it on or off, switch the\n"
        "device's automatic TEC control on or off, or set its DAC value (%1).")
                        .arg(CommandCatalogue::rangeText(CommandWord::TecPowerDac));
    c.factory = true;
    c.setter = true;
    c.run = [](CtlContext &ctx) {
        const QString usage = QStringLiteral("usage: korvexctl tec on|off | tec auto on|off | tec dac N");
        QString error;
        bool on = false;
        if (ctx.args.size() == 1) {
            if (!CtlArgs::parseOnOff(ctx.args.at(0), QStringLiteral("tec"), &on, &error))
                return badArguments(usage);
            return runDeviceWrite(ctx, QStringLiteral("tec %1").arg(ctx.args.at(0)),
                                  [on](PlCommand &p) { return p.turnOnOffTec(on ? 1 : 0); });
        }
        if (ctx.args.size() == 2 && ctx.args.at(0) == QLatin1String("auto")) {
            if (!CtlArgs::parseOnOff(ctx.args.at(1), QStringLiteral("tec auto"), &on, &error))
                return badArguments(error);
            return runDeviceWrite(ctx, QStringLiteral("tec auto %1").arg(ctx.args.at(1)),
                                  [on](PlCommand &p) { return p.switchAutoTec(on ? 1 : 0); });
        }
        if (ctx.args.size() == 2 && ctx.args.at(0) == QLatin1String("dac")) {
            qint64 value = 0;
            if (!CtlArgs::parseValue(ctx.args.at(1), CommandWord::TecPowerDac, &value, &error))
                return badArguments(error);
            return runDeviceWrite(ctx, QStringLiteral("tec dac %1").arg(value),
                                  [value](PlCommand &p) { return p.setTecPowerDac(quint16(value)); });
        }
        return badArguments(usage);
    };
    return c;
}

CtlCommand fan()
{
    CtlCommand c;
    c.name = QStringLiteral("fan");
    c.summary = QStringLiteral("drive the fans by hand");
    c.usage = QStringLiteral("fan auto on|off | fan pwm N");
    c.description = QStringLiteral(
        "Drives the fans as the fan window does: switch the device's automatic fan control\n"
        "on or off, or set a fan PWM value (%1).")
                        .arg(CommandCatalogue::rangeText(CommandWord::FanDebug));
    c.factory = true;
    c.setter = true;
    c.run = [](CtlContext &ctx) {
        const QString usage = QStringLiteral("usage: korvexctl fan auto on|off | fan pwm N");
        QString error;
        if (ctx.args.size() == 2 && ctx.args.at(0) == QLatin1String("auto")) {
            bool on = false;
            if (!CtlArgs::parseOnOff(ctx.args.at(1), QStringLiteral("fan auto"), &on, &error))
                return badArguments(error);
            return runDeviceWrite(ctx, QStringLiteral("fan auto %1").arg(ctx.args.at(1)),
                                  [on](PlCommand &p) { return p.setFanAutoPwm(FanCommand::automatic(on)); });
        }
        if (ctx.args.size() == 2 && ctx.args.at(0) == QLatin1String("pwm")) {
            qint64 value = 0;
            if (!CtlArgs::parseValue(ctx.args.at(1), CommandWord::FanDebug, &value, &error))
                return badArguments(error);
            return runDeviceWrite(ctx, QStringLiteral("fan pwm %1").arg(value),
                                  [value](PlCommand &p) { return p.setFanAutoPwm(FanCommand::pwm(quint16(value))); });
        }
        return badArguments(usage);
    };
    return c;
}

} // namespace

QVector<CtlCommand> factoryCommands()
{
    return withCatalogueSetters({maxDac(), compensation(), laserType(), tec(), fan()}, true);
}
