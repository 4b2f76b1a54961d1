#ifndef KORVEX_WATCHOUTPUT_H
#define KORVEX_WATCHOUTPUT_H

#include "DevStatusCache.h"
#include "PolledSample.h"

#include <QDateTime>
#include <QString>

#include <cstdio>

// A destination of watched samples. The sample hub (SampleHub) hands every
// poll to each output as it happens: a sample, or a lost one (no valid
// reply). Outputs write and flush at once, so an interrupted watch loses
// nothing written.
class WatchOutput
{
public:
    virtual ~WatchOutput() = default;
    // The hub's way in. An output of one unit needs only the time and the
    // status (sample, lost); one that tells units apart (by port or serial
    // number) takes the whole sample here.
    virtual bool take(const PolledSample &s) { return s.answered ? sample(s.time, s.status) : lost(s.time); }
    // false when the output can no longer be written (the watch then stops).
    virtual bool sample(const QDateTime &time, const DevStatusCache &cache) = 0;
    virtual bool lost(const QDateTime &time) = 0;
    virtual void finish() {}
    // Closes and opens its file again (after a log rotation); false with
    // errorText() when the new file cannot be opened (the old one stays).
    virtual bool reopen() { return true; }
    // Why the last write failed.
    virtual QString errorText() const { return QString(); }
};

// A text stream: a file opened by the output, or stdout for "-".
class WatchTextFile
{
public:
    // What to do with a file that already holds data: refuse it (a night's
    // recording is never truncated by accident), add to it, or replace it.
    enum class Existing { Refuse, Append, Overwrite };

    ~WatchTextFile();
    // Checks the file without touching it: its folder is there, and a file
    // that holds data may be added to or replaced; header: the first line a
    // file must have to be appended to (empty: any). False with a message.
    static bool check(const QString &path, Existing existing, const QString &header, QString *error);
    // The same text for every name of one file (a link, "./a.csv"), also
    // for a file that does not exist yet; "-" is stdout.
    static QString identity(const QString &path);
    // Opens after check(); wroteNothing() tells whether a header is due.
    bool open(const QString &path, Existing existing, QString *error);
    // Opens the path again for appending; the old file stays on failure.
    bool reopen(QString *error);
    bool writeLine(const QString &line);
    bool isStdout() const { return stream == stdout; }
    bool isEmpty() const { return empty; }

private:
    FILE *stream = nullptr;
    QString filePath;
    bool empty = true; // the file held nothing when it was opened
};

// A file output: CSV rows or JSON lines.
class FileWatchOutput : public WatchOutput
{
public:
    bool open(const QString &path, WatchTextFile::Existing existing, QString *error);
    bool reopen() override;
    bool isStdout() const { return textFile.isStdout(); }
    QString errorText() const override { return lastError; }
    // The first line of a file of this kind (empty: none).
    virtual QString header() const { return QString(); }

protected:
    bool startFile(); // the header, if the file is new or empty
    WatchTextFile textFile;
    QString lastError;
};

class CsvWatchOutput : public FileWatchOutput
{
public:
    bool sample(const QDateTime &time, const DevStatusCache &cache) override;
    bool lost(const QDateTime &time) override;
    QString header() const override;
};

class JsonlWatchOutput : public FileWatchOutput
{
public:
    bool sample(const QDateTime &time, const DevStatusCache &cache) override;
    bool lost(const QDateTime &time) override;
};

// The default: one compact line per sample on stdout; for a rack, each
// line starts with the unit's port.
class TerminalWatchOutput : public WatchOutput
{
public:
    explicit TerminalWatchOutput(bool showPort = false) : showPort(showPort) {}
    bool take(const PolledSample &s) override;
    bool sample(const QDateTime &time, const DevStatusCache &cache) override;
    bool lost(const QDateTime &time) override;

private:
    bool print(const QString &line);
    bool showPort;
    QString portPrefix;
};

#endif
