#ifndef KORVEX_UNITFILEOUTPUT_H
#define KORVEX_UNITFILEOUTPUT_H

#include "WatchOutput.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// The file names of a rack's outputs: "{port}" stands for the unit's port
// name without its folder (ttyUSB0), "{serial}" for its serial number.
namespace UnitFileName {

bool hasPlaceholder(const QString &pattern);
bool needsSerial(const QString &pattern);
// False, with *error, for a brace that is no known placeholder.
bool check(const QString &pattern, QString *error);
QString expand(const QString &pattern, const QString &port, const QString &serial);

} // namespace UnitFileName

// The files the outputs of one watch write, each held by one of them: two
// outputs never share a file, under one name or two (a link, "./a.csv").
class FileClaims
{
public:
    // False, with the holder's name in *holder, when another owner holds it.
    bool claim(const QString &path, const QString &owner, QString *holder);
    void release(const QString &path);

private:
    QHash<QString, QString> owners; // by WatchTextFile::identity
};

// A file output of one unit whose name holds its serial number: opened at
// the first reply, when the number is known (the lost samples before it wait
// in memory, then go first into the file), and changed for the file of the
// new number when another unit appears on the port.
class UnitFileOutput : public WatchOutput
{
public:
    using Maker = std::function<std::unique_ptr<FileWatchOutput>()>;

    // Samples waiting for the number: about a day of polls at 1 Hz.
    static constexpr int MaxWaiting = 100000;

    // owner: how the claims name this output ("--csv of /dev/ttyUSB0").
    UnitFileOutput(const QString &pattern, const QString &port, const QString &owner, WatchTextFile::Existing existing,
                   Maker make, std::shared_ptr<FileClaims> claims);
    ~UnitFileOutput() override;

    bool take(const PolledSample &s) override;
    bool sample(const QDateTime &, const DevStatusCache &) override { return true; }
    bool lost(const QDateTime &) override { return true; }
    void finish() override;
    bool reopen() override;
    QString errorText() const override { return lastError; }

private:
    bool openFor(const QString &serial);
    void close();

    QString pattern;
    QString port;
    QString owner;
    WatchTextFile::Existing existing;
    Maker make;
    std::shared_ptr<FileClaims> claims;
    std::unique_ptr<FileWatchOutput> file;
    QString openPath;
    QList<PolledSample> waiting;
    QString lastError;
};

#endif
