// korvexctl profile save|apply: back up and restore the device's settings.

#include "Console.h"
#include "CtlCommands.h"
#include "DeviceProfile.h"
#include "DeviceSession.h"
#include "ExitCode.h"
#include "PlCommand.h"

#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

int profileSave(CtlContext &ctx, const QString &path)
{
    DeviceSession session(ctx.line);
    DevStatusCache status;
    QVector<quint32> pid;
    int code = session.open();
    if (code == ExitCode::Done)
        code = session.readStatus(status);
    if (code == ExitCode::Done)
        code = session.readPid(pid);
    if (code != ExitCode::Done) {
        Console::error(QStringLiteral("profile save: %1").arg(session.errorText()));
        return code;
    }
    const DeviceProfile profile = DeviceProfile::fromDevice(status, pid, ctx.isSet("with-serial"));
    // Written whole or not at all: an old backup is never left half overwritten.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(QJsonDocument(profile.toJson()).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
        Console::error(QStringLiteral("profile save: cannot write %1: %2").arg(path, file.errorString()));
        return ExitCode::Failed;
    }
    Console::out(QStringLiteral("profile saved to %1").arg(path));
    return ExitCode::Done;
}

struct ProfileWrite
{
    QString what;
    std::function<quint8(PlCommand &)> command;
};

QVector<ProfileWrite> writesFor(const DeviceProfile &p, bool withSerial)
{
    QVector<ProfileWrite> writes{
        {QStringLiteral("threshold %1").arg(QString::number(p.thresholdTenths / 10.0, 'f', 1)),
         [p](PlCommand &c) { return c.setTempThreshold(p.thresholdTenths); }},
        {QStringLiteral("power %1").arg(p.power), [p](PlCommand &c) { return c.setPowerPercent(p.power); }},
        {QStringLiteral("max-dac %1").arg(p.maxDac), [p](PlCommand &c) { return c.setSaveMaxDac(p.maxDac); }},
        {QStringLiteral("compensation %1 h").arg(p.compensationHours),
         [p](PlCommand &c) { return c.setCompensationHours(p.compensationHours); }},
        {QStringLiteral("laser-type %1").arg(p.laserType),
         [p](PlCommand &c) { return c.setLdTypeParam(QByteArray(1, char(p.laserType))); }},
        {QStringLiteral("pid set KP %1 KI %2 KD %3")
             .arg(qint32(p.pidWords.at(0)) / 10000.0)
             .arg(qint32(p.pidWords.at(1)) / 10000.0)
             .arg(qint32(p.pidWords.at(2)) / 10000.0),
         [p](PlCommand &c) { return c.setPidValue(p.pidWords); }},
    };
    if (withSerial && p.serialRecord.size() == 8)
        writes.append({QStringLiteral("serial-number %1").arg(QString::fromLatin1(p.serialRecord.toHex())),
                       [p](PlCommand &c) { return c.setDevSerialNum(p.serialRecord); }});
    return writes;
}

int profileApply(CtlContext &ctx, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return badArguments(QStringLiteral("profile apply: cannot read %1: %2").arg(path, file.errorString()));
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isObject())
        return badArguments(QStringLiteral("profile apply: %1 is not a JSON object: %2").arg(path, parseError.errorString()));
    DeviceProfile profile;
    QString error;
    if (!DeviceProfile::fromJson(doc.object(), &profile, &error))
        return badArguments(QStringLiteral("profile apply: %1: %2").arg(path, error));
    const bool withSerial = ctx.isSet("with-serial");
    if (withSerial && profile.serialRecord.isEmpty())
        return badArguments(QStringLiteral("profile apply: %1 holds no serial number").arg(path));
    const QVector<ProfileWrite> writes = writesFor(profile, withSerial);

    if (ctx.isSet("dry-run")) {
        for (const ProfileWrite &w : writes)
            Console::out(QStringLiteral("%1: would be written").arg(w.what));
        return ExitCode::Done;
    }
    if (ctx.line.port().isEmpty())
        return badArguments(QStringLiteral("profile apply needs --port NAME"));
    DeviceSession session(ctx.line);
    const int opened = session.open();
    if (opened != ExitCode::Done) {
        Console::error(QStringLiteral("profile apply: %1").arg(session.errorText()));
        return opened;
    }
    for (const ProfileWrite &w : writes) {
        const int code = session.write(w.command);
        if (code != ExitCode::Done) {
            // Stop at the first failure: the device keeps what was done so far.
            Console::out(QStringLiteral("%1: failed: %2").arg(w.what, session.errorText()));
            Console::error(QStringLiteral("profile apply: %1: %2 (stopped)").arg(w.what, session.errorText()));
            return code;
        }
        Console::out(QStringLiteral("%1: done").arg(w.what));
    }
    return ExitCode::Done;
}

} // namespace

CtlCommand profileCommand()
{
    CtlCommand c;
    c.name = QStringLiteral("profile");
    c.summary = QStringLiteral("back up or restore the device settings");
    c.usage = QStringLiteral("profile save FILE [--with-serial] | profile apply FILE [--dry-run] [--with-serial]");
    c.description = QStringLiteral(
        "profile save reads the device's settings into a JSON file: temperature threshold,\n"
        "power, maximum DAC, compensation hours, laser type and PID coefficients, and with\n"
        "--with-serial the serial number. profile apply writes them to a device in that\n"
        "order (the serial number only with --with-serial), prints each write and its\n"
        "result and stops at the first failure; --dry-run only prints what it would write.");
    c.factory = true;
    c.needsPort = false; // a dry run talks to no device
    c.addOptions = [](QCommandLineParser &p) {
        p.addOption({QStringLiteral("dry-run"), QStringLiteral("apply: print the writes, send nothing.")});
        p.addOption({QStringLiteral("with-serial"), QStringLiteral("Include the serial number.")});
    };
    c.run = [](CtlContext &ctx) {
        const QString usage =
            QStringLiteral("usage: korvexctl --factory profile save FILE | profile apply FILE [--dry-run] [--with-serial]");
        if (ctx.args.size() != 2)
            return badArguments(usage);
        if (ctx.args.at(0) == QLatin1String("save")) {
            if (ctx.isSet("dry-run"))
                return badArguments(QStringLiteral("--dry-run belongs to profile apply"));
            if (ctx.line.port().isEmpty())
                return badArguments(QStringLiteral("profile save needs --port NAME"));
            return profileSave(ctx, ctx.args.at(1));
        }
        if (ctx.args.at(0) == QLatin1String("apply"))
            return profileApply(ctx, ctx.args.at(1));
        return badArguments(usage);
    };
    return c;
}
