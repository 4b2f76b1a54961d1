// korvexctl profile save|apply: back up and restore the device's settings.

#include "CommandCatalogue.h"
#include "Console.h"
#include "CtlCommands.h"
#include "DeviceProfile.h"
#include "DeviceSession.h"
#include "ExitCode.h"
#include "PlCommand.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

// Only a regular file (new or existing) is written, or stdout for "-": a
// device node, a FIFO or a directory is never replaced by a file.
bool usableTarget(const QString &path, QString *error)
{
    if (path == QLatin1String("-"))
        return true;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isFile())
        return true;
    *error = QStringLiteral("profile save: %1 is not a regular file (give a file name, or - for stdout)").arg(path);
    return false;
}

int profileSave(CtlContext &ctx, const QString &path)
{
    QString error;
    if (!usableTarget(path, &error))
        return badArguments(error);
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
    const QByteArray json = QJsonDocument(profile.toJson()).toJson(QJsonDocument::Indented);
    if (path == QLatin1String("-")) {
        Console::outText(QString::fromUtf8(json));
        return ExitCode::Done;
    }
    // Written whole or not at all: an old backup is never left half overwritten.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) < 0 || !file.commit()) {
        Console::error(QStringLiteral("profile save: cannot write %1: %2").arg(path, file.errorString()));
        return ExitCode::Failed;
    }
    // The device reports the maximum DAC it runs with; one set with --no-save
    // is lost at its next restart, so the line says which value was taken.
    Console::out(QStringLiteral("profile saved to %1 (max_dac %2 as the unit runs it)").arg(path).arg(profile.maxDac));
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
        {QStringLiteral("threshold %1").arg(CommandCatalogue::typedText(CommandWord::TempThreshold, p.thresholdTenths)),
         [p](PlCommand &c) { return c.execWrite(CommandWord::TempThreshold, {quint16(p.thresholdTenths)}); }},
        {QStringLiteral("power %1").arg(p.power), [p](PlCommand &c) { return c.execWrite(CommandWord::Power, {quint32(p.power)}); }},
        {QStringLiteral("max-dac %1").arg(p.maxDac), [p](PlCommand &c) { return c.execWrite(CommandWord::MaxDacSaved, {quint32(p.maxDac)}); }},
        {QStringLiteral("compensation %1 h").arg(p.compensationHours),
         [p](PlCommand &c) { return c.execWrite(CommandWord::CompensationHours, {quint32(p.compensationHours)}); }},
        {QStringLiteral("laser-type %1").arg(p.laserType),
         [p](PlCommand &c) { return c.execWrite(CommandWord::LaserType, {quint32(p.laserType)}); }},
        {QStringLiteral("pid set KP %1 KI %2 KD %3")
             .arg(CommandCatalogue::typedText(CommandWord::PidCoefficients, qint32(p.pidWords.at(0))),
                  CommandCatalogue::typedText(CommandWord::PidCoefficients, qint32(p.pidWords.at(1))),
                  CommandCatalogue::typedText(CommandWord::PidCoefficients, qint32(p.pidWords.at(2)))),
         [p](PlCommand &c) { return c.execWrite(CommandWord::PidCoefficients, p.pidWords.mid(0, 3)); }},
    };
    if (withSerial && p.serialRecord.size() == 8)
        writes.append({QStringLiteral("serial-number %1").arg(QString::fromLatin1(p.serialRecord.toHex())),
                       [p](PlCommand &c) { return c.setDevSerialNum(p.serialRecord); }});
    return writes;
}

// What apply did with each value, printed as it happens (a line per write)
// or, with --json, as one object at the end: file, differences, values
// [{write, result: sent|refused|skipped, error}], verified, mismatches,
// exit_code, error.
struct ApplyReport
{
    ApplyReport(bool json, const QString &path, const QVector<ProfileWrite> &writes)
        : json(json), path(path), writes(writes), results(writes.size(), QStringLiteral("skipped")), errors(writes.size())
    {
    }

    void wrote(int i, int code, const QString &error)
    {
        results[i] = code == ExitCode::Done ? QStringLiteral("sent") : QStringLiteral("refused");
        if (code != ExitCode::Done)
            errors[i] = error;
        if (!json)
            Console::out(code == ExitCode::Done ? QStringLiteral("%1: done").arg(writes.at(i).what)
                                                : QStringLiteral("%1: failed: %2").arg(writes.at(i).what, error));
    }

    int finish(int code, const QString &error)
    {
        if (json) {
            QJsonArray values;
            for (int i = 0; i < writes.size(); ++i) {
                QJsonObject v{{QStringLiteral("write"), writes.at(i).what}, {QStringLiteral("result"), results.at(i)}};
                if (!errors.at(i).isEmpty())
                    v.insert(QStringLiteral("error"), errors.at(i));
                values.append(v);
            }
            QJsonObject o{{QStringLiteral("file"), path},
                          {QStringLiteral("differences"), QJsonArray::fromStringList(differences)},
                          {QStringLiteral("values"), values},
                          {QStringLiteral("exit_code"), code}};
            if (verified >= 0) {
                o.insert(QStringLiteral("verified"), verified == 1);
                o.insert(QStringLiteral("mismatches"), QJsonArray::fromStringList(mismatches));
            }
            if (!error.isEmpty())
                o.insert(QStringLiteral("error"), error);
            Console::out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
        } else {
            for (int i = 0; i < writes.size() && code == ExitCode::Aborted; ++i)
                if (results.at(i) == QLatin1String("skipped"))
                    Console::out(QStringLiteral("%1: not sent").arg(writes.at(i).what));
        }
        if (!error.isEmpty())
            Console::error(QStringLiteral("profile apply: ") + error);
        return code;
    }

    bool json;
    QString path;
    QVector<ProfileWrite> writes;
    QVector<QString> results;
    QVector<QString> errors;
    QStringList differences;
    QStringList mismatches;
    int verified = -1; // -1 not asked, 0 no, 1 yes
};

// The values the unit reports that differ from the profile's.
QStringList mismatches(const DeviceProfile &want, const DeviceProfile &got)
{
    QStringList out;
    auto compare = [&out](const char *what, qint64 a, qint64 b) {
        if (a != b)
            out << QStringLiteral("%1 %2 (written %3)").arg(QLatin1String(what)).arg(b).arg(a);
    };
    compare("temp_threshold tenths", want.thresholdTenths, got.thresholdTenths);
    compare("power", want.power, got.power);
    compare("max_dac", want.maxDac, got.maxDac);
    compare("compensation_hours", want.compensationHours, got.compensationHours);
    compare("laser_type", want.laserType, got.laserType);
    for (int i = 0; i < 3; ++i)
        compare(i == 0 ? "kp word" : i == 1 ? "ki word" : "kd word", qint32(want.pidWords.at(i)), qint32(got.pidWords.at(i)));
    if (!want.serialRecord.isEmpty() && want.serialRecord != got.serialRecord)
        out << QStringLiteral("serial_record %1 (written %2)")
                   .arg(QString::fromLatin1(got.serialRecord.toHex()), QString::fromLatin1(want.serialRecord.toHex()));
    return out;
}

int profileApply(CtlContext &ctx, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return badArguments(QStringLiteral("profile apply: cannot read %1: %2").arg(path, file.errorString()));
    // Bounded: /dev/zero or a wrong file must not fill the memory.
    const QByteArray bytes = file.read(DeviceProfile::MaxFileSize + 1);
    if (bytes.size() > DeviceProfile::MaxFileSize)
        return badArguments(QStringLiteral("profile apply: %1 is larger than %2 KiB: not a profile")
                                .arg(path).arg(DeviceProfile::MaxFileSize / 1024));
    DeviceProfile profile;
    QString error;
    if (!DeviceProfile::fromFile(bytes, &profile, &error))
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
    ApplyReport report(ctx.isSet("json"), path, writes);
    DeviceSession session(ctx.line);
    DevStatusCache target;
    int code = session.open();
    if (code == ExitCode::Done)
        code = session.readStatus(target);
    if (code != ExitCode::Done)
        return report.finish(code, session.errorText());
    report.differences = profile.differencesFrom(DeviceProfile::sourceOf(target));
    if (!report.differences.isEmpty()) {
        const bool strict = ctx.isSet("strict");
        Console::error(QStringLiteral("profile apply: the unit differs from the profile's: %1%2")
                           .arg(report.differences.join(QStringLiteral(", ")),
                                strict ? QStringLiteral(" (--strict: nothing written)") : QString()));
        if (strict)
            return report.finish(ExitCode::Failed, QString());
    }
    for (int i = 0; i < writes.size(); ++i) {
        code = session.write(writes.at(i).command);
        if (code == ExitCode::Aborted)
            return report.finish(code, QStringLiteral("%1 after %2 of %3 writes").arg(session.errorText()).arg(i).arg(writes.size()));
        report.wrote(i, code, session.errorText());
        // Stop at the first failure: the device keeps what was done so far.
        if (code != ExitCode::Done)
            return report.finish(code, QStringLiteral("%1: %2 (stopped)").arg(writes.at(i).what, session.errorText()));
    }
    if (ctx.isSet("verify")) {
        QVector<quint32> pid;
        code = session.readStatus(target);
        if (code == ExitCode::Done)
            code = session.readPid(pid);
        if (code != ExitCode::Done)
            return report.finish(code, QStringLiteral("read-back: ") + session.errorText());
        report.mismatches = mismatches(profile, DeviceProfile::fromDevice(target, pid, withSerial));
        report.verified = report.mismatches.isEmpty();
        if (!report.verified)
            return report.finish(ExitCode::Failed, QStringLiteral("the unit does not report what was written: %1")
                                                       .arg(report.mismatches.join(QStringLiteral(", "))));
    }
    return report.finish(ExitCode::Done, QString());
}

} // namespace

CtlCommand profileCommand()
{
    CtlCommand c;
    c.name = QStringLiteral("profile");
    c.summary = QStringLiteral("back up or restore the device settings");
    c.usage = QStringLiteral("profile save FILE|- [--with-serial] | profile apply FILE [--dry-run] [--with-serial] "
                             "[--strict] [--verify] [--json]");
    c.description = QStringLiteral(
        "profile save reads the device's settings into a JSON file: temperature threshold,\n"
        "power, maximum DAC, compensation hours, laser type and PID coefficients, and with\n"
        "--with-serial the serial number. profile apply writes them to a device in that\n"
        "order (the serial number only with --with-serial), prints each write and its\n"
        "result and stops at the first failure; --dry-run only prints what it would write.\n"
        "FILE \"-\" is stdout for save; save writes only a regular file (new or existing),\n"
        "never a device node, FIFO or directory. max_dac is the value the unit runs with:\n"
        "one set with --no-save is recorded too (restart the unit first to record the kept one).\n"
        "A profile records the firmware, laser type and serial number of its unit (\"source\");\n"
        "apply reads the target's status first and says on stderr when it differs, and with\n"
        "--strict then writes nothing (exit 5). Every value is checked as the commands check\n"
        "it; a file with a bad value, an unknown or repeated key, or over 64 KiB is refused\n"
        "as a whole (exit 2) and nothing is sent.");
    c.factory = true;
    c.needsPort = false; // a dry run talks to no device
    c.addOptions = [](QCommandLineParser &p) {
        p.addOption({QStringLiteral("dry-run"), QStringLiteral("apply: print the writes, send nothing.")});
        p.addOption({QStringLiteral("with-serial"), QStringLiteral("Include the serial number.")});
        p.addOption({QStringLiteral("strict"), QStringLiteral("apply: write nothing to a unit other than the profile's.")});
        p.addOption({QStringLiteral("json"),
                     QStringLiteral("apply: print one JSON object: file, differences, values [{write, result: "
                                    "sent|refused|skipped, error}], verified, mismatches, exit_code, error.")});
        p.addOption({QStringLiteral("verify"),
                     QStringLiteral("apply: read the settings back; exit 5 when the unit does not report them.")});
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
