#ifndef KORVEX_TRENDRECORDER_H
#define KORVEX_TRENDRECORDER_H

#include "DevStatusCache.h"

#include <QDateTime>
#include <QFile>
#include <QString>

// Writes every poll to a CSV file in the columns of `korvexctl watch --csv`:
// a header, then one row per poll (a lost reply is its time and empty
// values). Each row is flushed as it is written, so a crash loses at most the
// row being written. A write that fails ends the recording and says why.
class TrendRecorder
{
public:
    // Creates (or truncates) the file and writes the header. False, with the
    // reason in *error, when the file cannot be written.
    bool start(const QString &path, QString *error);
    void stop();

    bool isRecording() const { return file.isOpen(); }
    QString fileName() const { return path; }
    int rows() const { return rowCount; }

    // False, with the reason, when the row could not be written; the
    // recording has then ended.
    bool writeSample(const QDateTime &time, const DevStatusCache &cache, QString *error);
    bool writeLost(const QDateTime &time, QString *error);

private:
    bool writeLine(const QString &line, QString *error);

    QFile file;
    QString path;
    int rowCount = 0;
};

#endif
