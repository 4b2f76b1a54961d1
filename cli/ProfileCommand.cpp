// korvexctl profile save|apply: back up and restore the device's settings.

#include "CommandCatalogue.h"
#include "Console.h"
#include "CtlCommands.h"
#include "DeviceProfile.h"
#include "DeviceSession.h"
#include "ExitCode.h"
#include "PlCommand.h"
#include "ProfileApply.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

// Only a regular file is written, or stdout for "-": a device node, a FIFO
// or a directory is never replaced by a file, an existing file (a golden
// profile) only with --overwrite, and a file in a folder that is not there
// is refused before the unit is read.
bool usableTarget(const QString &path, bool overwrite, QString *error)
{
    if (path == QLatin1String("-"))
        return true;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        const QFileInfo folder(info.absolutePath());
        if (folder.isDir())
            return true;
        *error = QStringLiteral("profile save: cannot write %1: the folder %2 does not exist").arg(path, folder.filePath());
        return false;
    }
    if (!info.isFile()) {
        *error = QStringLiteral("profile save: %1 is not a regular file (give a file name, or - for stdout)").arg(path);
        return false;
    }
    if (overwrite)
        return true;
    *error = QStringLiteral("profile save: %1 exists (add --overwrite to replace it)").arg(path);
    return false;
}

int profileSave(CtlContext &ctx, const QString &path)
{
    QString error;
    if (!usableTarget(path, ctx.isSet("overwrite"), &error))
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

} // namespace

CtlCommand profileCommand()
{
    CtlCommand c;
    c.name = QStringLiteral("profile");
    c.summary = QStringLiteral("back up or restore the device settings");
    c.usage = QStringLiteral("profile save FILE|- [--with-serial] [--overwrite] | profile apply FILE|- [--dry-run] "
                             "[--with-serial] [--strict] [--strict-serial] [--verify] [--json]");
    c.description = QStringLiteral(
        "profile save reads the device's settings into a JSON file: temperature threshold,\n"
        "power, maximum DAC, compensation hours, laser type and PID coefficients, and with\n"
        "--with-serial the serial number. profile apply writes them to a device in that\n"
        "order (the serial number only with --with-serial), prints each write and its\n"
        "result and stops at the first failure.\n"
        "FILE \"-\" is stdout for save and stdin for apply. save writes only a regular file,\n"
        "never a device node, FIFO or directory; it replaces an existing file only with\n"
        "--overwrite, and a file in a folder that does not exist is refused (exit 2) before\n"
        "the unit is read. max_dac is the value the unit runs with: one set with --no-save\n"
        "is recorded too (restart the unit first to record the kept one).\n"
        "apply --dry-run reads the target and prints each value as \"NAME: CURRENT -> NEW\"\n"
        "(with --json: values [{write, current, new}]) and writes nothing; without --port it\n"
        "only lists the writes.\n"
        "A profile records the firmware, laser type and serial number of its unit (\"source\");\n"
        "apply reads the target's status first and says on stderr how it differs. With\n"
        "--strict it writes nothing (exit 5) when the firmware or the laser type differs, so\n"
        "one golden profile sets up many units; --strict-serial also compares the serial\n"
        "number. A profile without a source is refused under --strict (exit 2).\n"
        "Every value is checked as the commands check it; a file that is not valid JSON (said\n"
        "with its line and column), of another version than 1, with a bad value, an unknown\n"
        "or repeated key, a malformed source, or over 64 KiB is refused as a whole (exit 2)\n"
        "and nothing is sent.");
    c.factory = true;
    c.needsPort = false; // a dry run talks to no device
    c.addOptions = [](QCommandLineParser &p) {
        p.addOption({QStringLiteral("dry-run"), QStringLiteral("apply: print the writes, send nothing.")});
        p.addOption({QStringLiteral("with-serial"), QStringLiteral("Include the serial number.")});
        p.addOption({QStringLiteral("overwrite"), QStringLiteral("save: replace an existing file.")});
        p.addOption({QStringLiteral("strict"),
                     QStringLiteral("apply: write nothing to a unit of another firmware or laser type than the profile's.")});
        p.addOption({QStringLiteral("strict-serial"), QStringLiteral("apply: --strict, and the serial number must match too.")});
        p.addOption({QStringLiteral("json"),
                     QStringLiteral("apply: print one JSON object: command, file, differences, values [{write, result: "
                                    "sent|refused|no reply|skipped, error}] (--dry-run: dry_run, values [{write, "
                                    "current, new}]), verified (true, false, or null when the read-back was lost), "
                                    "mismatches, exit_code, error.")});
        p.addOption({QStringLiteral("verify"),
                     QStringLiteral("apply: read the settings back; exit 5 when the unit does not report them.")});
    };
    c.run = [](CtlContext &ctx) {
        const QString usage =
            QStringLiteral("usage: korvexctl --factory profile save FILE|- | profile apply FILE|- [--dry-run] [--with-serial]");
        if (ctx.args.size() != 2)
            return badArguments(usage);
        if (ctx.args.at(0) == QLatin1String("save")) {
            for (const char *option : {"dry-run", "strict", "strict-serial", "verify", "json"})
                if (ctx.isSet(option))
                    return badArguments(QStringLiteral("--%1 belongs to profile apply").arg(QLatin1String(option)));
            if (ctx.line.port().isEmpty())
                return badArguments(QStringLiteral("profile save needs --port NAME"));
            return profileSave(ctx, ctx.args.at(1));
        }
        if (ctx.args.at(0) == QLatin1String("apply")) {
            if (ctx.isSet("overwrite"))
                return badArguments(QStringLiteral("--overwrite belongs to profile save"));
            return profileApply(ctx, ctx.args.at(1));
        }
        return badArguments(usage);
    };
    return c;
}
