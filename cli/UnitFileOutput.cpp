#include "UnitFileOutput.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace UnitFileName {

namespace {
const QString Port = QStringLiteral("{port}");
const QString Serial = QStringLiteral("{serial}");
} // namespace

bool hasPlaceholder(const QString &pattern)
{
    return pattern.contains(Port) || pattern.contains(Serial);
}

bool needsSerial(const QString &pattern)
{
    return pattern.contains(Serial);
}

bool check(const QString &pattern, QString *error)
{
    QString rest = pattern;
    rest.remove(Port).remove(Serial);
    if (rest.contains(QLatin1Char('{')) || rest.contains(QLatin1Char('}'))) {
        *error = QStringLiteral("%1: a file name knows only the placeholders {port} and {serial}").arg(pattern);
        return false;
    }
    return true;
}

QString expand(const QString &pattern, const QString &port, const QString &serial)
{
    QString name = pattern;
    name.replace(Port, QFileInfo(port).fileName());
    // A serial number never makes a folder of its own.
    QString safeSerial = serial;
    safeSerial.replace(QLatin1Char('/'), QLatin1Char('_'));
    return name.replace(Serial, safeSerial);
}

} // namespace UnitFileName

bool FileClaims::claim(const QString &path, const QString &owner, QString *holder)
{
    const QString key = WatchTextFile::identity(path);
    const auto it = owners.constFind(key);
    if (it != owners.constEnd() && it.value() != owner) {
        *holder = it.value();
        return false;
    }
    owners.insert(key, owner);
    return true;
}

void FileClaims::release(const QString &path)
{
    owners.remove(WatchTextFile::identity(path));
}

UnitFileOutput::UnitFileOutput(const QString &pattern, const QString &port, const QString &owner,
                               WatchTextFile::Existing existing, Maker make, std::shared_ptr<FileClaims> claims)
    : pattern(pattern), port(port), owner(owner), existing(existing), make(std::move(make)), claims(std::move(claims))
{
}

UnitFileOutput::~UnitFileOutput()
{
    close();
}

bool UnitFileOutput::openFor(const QString &serial)
{
    const QString path = UnitFileName::expand(pattern, port, serial);
    if (path == openPath && file)
        return true;
    close();
    QString holder;
    if (!claims->claim(path, owner, &holder)) {
        lastError = QStringLiteral("%1 (%2, unit %3) is the file of %4 already").arg(path, owner, serial, holder);
        return false;
    }
    auto fresh = make();
    if (!WatchTextFile::check(path, existing, fresh->header(), &lastError) || !fresh->open(path, existing, &lastError)) {
        claims->release(path);
        return false;
    }
    file = std::move(fresh);
    openPath = path;
    return true;
}

void UnitFileOutput::close()
{
    if (!file)
        return;
    file->finish();
    file.reset();
    claims->release(openPath);
    openPath.clear();
}

bool UnitFileOutput::take(const PolledSample &s)
{
    if (s.serial.isEmpty()) {
        if (waiting.size() >= MaxWaiting) {
            lastError = QStringLiteral("the unit on %1 has not told its serial number in %2 polls").arg(port).arg(MaxWaiting);
            return false;
        }
        waiting.append(s);
        return true;
    }
    if (!openFor(s.serial))
        return false;
    while (!waiting.isEmpty()) {
        if (!file->take(waiting.takeFirst())) {
            lastError = file->errorText();
            return false;
        }
    }
    if (file->take(s))
        return true;
    lastError = file->errorText();
    return false;
}

void UnitFileOutput::finish()
{
    close();
}

bool UnitFileOutput::reopen()
{
    if (!file || file->reopen())
        return true;
    lastError = file->errorText();
    return false;
}
