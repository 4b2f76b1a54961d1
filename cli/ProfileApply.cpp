#include "ProfileApply.h"

#include "Console.h"
#include "CtlCommand.h"
#include "DeviceProfile.h"
#include "DeviceSession.h"
#include "ExitCode.h"
#include "ProfileValues.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

namespace {

// The profile's bytes from a file or, for "-", from stdin; bounded: /dev/zero
// or a wrong file must not fill the memory.
bool readProfile(const QString &path, QByteArray *bytes, QString *error)
{
    QFile file;
    const bool fromStdin = path == QLatin1String("-");
    const QString shown = fromStdin ? QStringLiteral("stdin") : path;
    const bool opened = fromStdin ? file.open(stdin, QIODevice::ReadOnly) : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        *error = QStringLiteral("cannot read %1: %2").arg(shown, file.errorString());
        return false;
    }
    *bytes = QByteArray();
    while (bytes->size() <= DeviceProfile::MaxFileSize) {
        const QByteArray part = file.read(DeviceProfile::MaxFileSize + 1 - bytes->size());
        if (part.isEmpty())
            break;
        *bytes += part;
    }
    if (bytes->size() > DeviceProfile::MaxFileSize) {
        *error = QStringLiteral("%1 is larger than %2 KiB: not a profile").arg(shown).arg(DeviceProfile::MaxFileSize / 1024);
        return false;
    }
    return true;
}

// What apply did with each value, printed as it happens (a line per write)
// or, with --json, as one object at the end: command, file, differences,
// values [{write, result: sent|refused|no reply|skipped, error}] (a dry run:
// [{write, current, new}]), verified (true, false, or null when the
// read-back was lost), mismatches, exit_code, error.
struct ApplyReport
{
    ApplyReport(bool json, const QString &path, const QVector<ProfileValue> &values, const DeviceProfile &profile)
        : json(json), path(path), values(values), profile(profile), results(values.size(), QStringLiteral("skipped")),
          errors(values.size())
    {
    }

    QString what(int i) const { return values.at(i).what(profile); }

    void wrote(int i, int code, const QString &error)
    {
        results[i] = code == ExitCode::Done ? QStringLiteral("sent")
                     : code == ExitCode::Failed ? QStringLiteral("refused")
                                                : QStringLiteral("no reply");
        if (code != ExitCode::Done)
            errors[i] = error;
        if (!json)
            Console::out(code == ExitCode::Done ? QStringLiteral("%1: done").arg(what(i))
                                                : QStringLiteral("%1: failed: %2").arg(what(i), error));
    }

    // The dry run: each value as the unit has it now and as it would be written.
    int preview(const DeviceProfile *current)
    {
        QJsonArray shown;
        for (int i = 0; i < values.size(); ++i) {
            const QString now = current ? values.at(i).text(*current) : QString();
            const QString next = values.at(i).text(profile);
            if (json) {
                QJsonObject v{{QStringLiteral("write"), what(i)}, {QStringLiteral("new"), next}};
                v.insert(QStringLiteral("current"), current ? QJsonValue(now) : QJsonValue());
                shown.append(v);
            } else if (current) {
                Console::out(QStringLiteral("%1: %2 -> %3 (%4would be written)")
                                 .arg(values.at(i).name, now, next, now == next ? QStringLiteral("unchanged, ") : QString()));
            } else {
                Console::out(QStringLiteral("%1: would be written").arg(what(i)));
            }
        }
        dryRun = shown;
        return finish(ExitCode::Done, QString());
    }

    int finish(int code, const QString &error)
    {
        if (json) {
            QJsonObject o{{QStringLiteral("command"), QStringLiteral("profile apply")},
                          {QStringLiteral("file"), path},
                          {QStringLiteral("differences"), QJsonArray::fromStringList(differences)},
                          {QStringLiteral("exit_code"), code}};
            if (!dryRun.isEmpty()) {
                o.insert(QStringLiteral("dry_run"), true);
                o.insert(QStringLiteral("values"), dryRun);
            } else {
                QJsonArray list;
                for (int i = 0; i < values.size(); ++i) {
                    QJsonObject v{{QStringLiteral("write"), what(i)}, {QStringLiteral("result"), results.at(i)}};
                    if (!errors.at(i).isEmpty())
                        v.insert(QStringLiteral("error"), errors.at(i));
                    list.append(v);
                }
                o.insert(QStringLiteral("values"), list);
            }
            if (verified != NotAsked) {
                o.insert(QStringLiteral("verified"), verified == Lost ? QJsonValue() : QJsonValue(verified == Yes));
                o.insert(QStringLiteral("mismatches"), QJsonArray::fromStringList(mismatches));
            }
            if (!error.isEmpty())
                o.insert(QStringLiteral("error"), error);
            printJson(o);
        } else {
            for (int i = 0; i < values.size() && code == ExitCode::Aborted; ++i)
                if (results.at(i) == QLatin1String("skipped"))
                    Console::out(QStringLiteral("%1: not sent").arg(what(i)));
        }
        if (!error.isEmpty())
            Console::error(QStringLiteral("profile apply: ") + error);
        return code;
    }

    enum Verdict { NotAsked, No, Yes, Lost };

    bool json;
    QString path;
    QVector<ProfileValue> values;
    DeviceProfile profile;
    QVector<QString> results;
    QVector<QString> errors;
    QJsonArray dryRun;
    QStringList differences;
    QStringList mismatches;
    Verdict verified = NotAsked;
};

// The values the unit reports that differ from the profile's.
QStringList mismatches(const QVector<ProfileValue> &values, const DeviceProfile &want, const DeviceProfile &got)
{
    QStringList out;
    for (const ProfileValue &v : values)
        if (v.text(want) != v.text(got))
            out << QStringLiteral("%1 %2 (written %3)").arg(v.name, v.text(got), v.text(want));
    return out;
}

} // namespace

int profileApply(CtlContext &ctx, const QString &path)
{
    QByteArray bytes;
    QString error;
    if (!readProfile(path, &bytes, &error))
        return badArguments(QStringLiteral("profile apply: ") + error);
    DeviceProfile profile;
    const QString shown = path == QLatin1String("-") ? QStringLiteral("stdin") : path;
    if (!DeviceProfile::fromFile(bytes, &profile, &error))
        return badArguments(QStringLiteral("profile apply: %1: %2").arg(shown, error));
    const bool withSerial = ctx.isSet("with-serial");
    if (withSerial && profile.serialRecord.isEmpty())
        return badArguments(QStringLiteral("profile apply: %1 holds no serial number").arg(shown));
    // --strict compares the unit with the one the profile names: a profile
    // that names none cannot pass it.
    const bool strictSerial = ctx.isSet("strict-serial");
    const bool strict = ctx.isSet("strict") || strictSerial;
    if (strict && (profile.source.firmware.isEmpty() || profile.source.laserType < 0))
        return badArguments(QStringLiteral("profile apply: %1 names no source unit (\"source\" with firmware and laser_type): "
                                           "--strict cannot compare")
                                .arg(shown));
    if (strictSerial && profile.source.serialNumber.isEmpty())
        return badArguments(QStringLiteral("profile apply: %1 names no source serial number: --strict-serial cannot compare")
                                .arg(shown));
    const QVector<ProfileValue> values = profileValues(profile, withSerial);
    ApplyReport report(ctx.isSet("json"), path, values, profile);
    const bool dryRun = ctx.isSet("dry-run");
    if (dryRun && ctx.line.port().isEmpty()) {
        if (strict)
            return badArguments(QStringLiteral("profile apply --dry-run --strict needs --port NAME to compare"));
        return report.preview(nullptr);
    }
    if (ctx.line.port().isEmpty())
        return badArguments(QStringLiteral("profile apply needs --port NAME"));

    DeviceSession session(ctx.line);
    DevStatusCache target;
    QVector<quint32> pid;
    int code = session.open();
    if (code == ExitCode::Done)
        code = session.readStatus(target);
    if (code != ExitCode::Done)
        return report.finish(code, session.errorText());
    const DeviceProfile::Source unit = DeviceProfile::sourceOf(target);
    report.differences = profile.differencesFrom(unit);
    if (!report.differences.isEmpty()) {
        const bool refused = strict && !profile.differencesFrom(unit, strictSerial).isEmpty();
        Console::error(QStringLiteral("profile apply: the unit differs from the profile's: %1%2")
                           .arg(report.differences.join(QStringLiteral(", ")),
                                refused ? QStringLiteral(" (--strict: nothing written)") : QString()));
        if (refused)
            return report.finish(ExitCode::Failed, QString());
    }
    if (dryRun) {
        code = session.readPid(pid);
        if (code != ExitCode::Done)
            return report.finish(code, session.errorText());
        const DeviceProfile current = DeviceProfile::fromDevice(target, pid, true);
        return report.preview(&current);
    }
    for (int i = 0; i < values.size(); ++i) {
        code = session.write([&](PlCommand &c) { return values.at(i).write(c, profile); });
        if (code == ExitCode::Aborted)
            return report.finish(code, QStringLiteral("%1 after %2 of %3 writes").arg(session.errorText()).arg(i).arg(values.size()));
        report.wrote(i, code, session.errorText());
        // Stop at the first failure: the device keeps what was done so far.
        if (code != ExitCode::Done)
            return report.finish(code, QStringLiteral("%1: %2 (stopped)").arg(report.what(i), session.errorText()));
    }
    if (ctx.isSet("verify")) {
        code = session.readStatus(target);
        if (code == ExitCode::Done)
            code = session.readPid(pid);
        if (code != ExitCode::Done) {
            report.verified = ApplyReport::Lost;
            return report.finish(code, QStringLiteral("written, but the read-back was lost: ") + session.errorText());
        }
        report.mismatches = mismatches(values, profile, DeviceProfile::fromDevice(target, pid, withSerial));
        report.verified = report.mismatches.isEmpty() ? ApplyReport::Yes : ApplyReport::No;
        if (report.verified == ApplyReport::No)
            return report.finish(ExitCode::Failed, QStringLiteral("the unit does not report what was written: %1")
                                                       .arg(report.mismatches.join(QStringLiteral(", "))));
    }
    return report.finish(ExitCode::Done, QString());
}
