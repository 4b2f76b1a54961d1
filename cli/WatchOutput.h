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
    // Why the last write failed.
    virtual QString errorText() const { return QString(); }
};

// A text stream: a file opened by the output, or stdout for "-".
class WatchTextFile
{
public:
    ~WatchTextFile();
    bool open(const QString &path, QString *error);
    bool writeLine(const QString &line);
    bool isStdout() const { return m_file == stdout; }
    // Why the last write failed: "cannot write night.csv: No space left on device".
    QString errorText() const { return m_error; }

private:
    FILE *m_file = nullptr;
    QString m_path;
    QString m_error;
};

class CsvWatchOutput : public WatchOutput
{
public:
    bool open(const QString &path, QString *error); // writes the header row
    bool sample(const QDateTime &time, const DevStatusCache &cache) override;
    bool lost(const QDateTime &time) override;
    bool isStdout() const { return m_file.isStdout(); }
    QString errorText() const override { return m_file.errorText(); }

private:
    WatchTextFile m_file;
};

class JsonlWatchOutput : public WatchOutput
{
public:
    bool open(const QString &path, QString *error);
    bool sample(const QDateTime &time, const DevStatusCache &cache) override;
    bool lost(const QDateTime &time) override;
    bool isStdout() const { return m_file.isStdout(); }
    QString errorText() const override { return m_file.errorText(); }

private:
    WatchTextFile m_file;
};

// The default: one compact line per sample on stdout.
class TerminalWatchOutput : public WatchOutput
{
public:
    bool sample(const QDateTime &time, const DevStatusCache &cache) override;
    bool lost(const QDateTime &time) override;
};

#endif
