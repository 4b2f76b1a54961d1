#ifndef KORVEX_WATCHOUTPUT_H
#define KORVEX_WATCHOUTPUT_H

#include "DevStatusCache.h"

#include <QDateTime>
#include <QString>

#include <cstdio>

// A destination of watched samples. WatchCommand hands every poll to each
// output as it happens: a sample, or a lost one (no valid reply). Outputs
// write and flush at once, so an interrupted watch loses nothing written.
class WatchOutput
{
public:
    virtual ~WatchOutput() = default;
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
    // Checks the file without touching it; header: the first line a file
    // must have to be appended to (empty: any). False with a message.
    static bool check(const QString &path, Existing existing, const QString &header, QString *error);
    // Opens after check(); wroteNothing() tells whether a header is due.
    bool open(const QString &path, Existing existing, QString *error);
    // Opens the path again for appending; the old file stays on failure.
    bool reopen(QString *error);
    bool writeLine(const QString &line);
    bool isStdout() const { return m_file == stdout; }
    bool isEmpty() const { return m_empty; }

private:
    FILE *m_file = nullptr;
    QString m_path;
    bool m_empty = true; // the file held nothing when it was opened
};

// A file output: CSV rows or JSON lines.
class FileWatchOutput : public WatchOutput
{
public:
    bool open(const QString &path, WatchTextFile::Existing existing, QString *error);
    bool reopen() override;
    bool isStdout() const { return m_file.isStdout(); }
    QString errorText() const override { return m_error; }
    // The first line of a file of this kind (empty: none).
    virtual QString header() const { return QString(); }

protected:
    bool startFile(); // the header, if the file is new or empty
    WatchTextFile m_file;
    QString m_error;
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

// The default: one compact line per sample on stdout.
class TerminalWatchOutput : public WatchOutput
{
public:
    bool sample(const QDateTime &time, const DevStatusCache &cache) override;
    bool lost(const QDateTime &time) override;
};

#endif
