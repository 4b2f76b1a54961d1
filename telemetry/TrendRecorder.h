#ifndef KORVEX_TRENDRECORDER_H
#define KORVEX_TRENDRECORDER_H

#include "DevStatusCache.h"
#include "WatchOutput.h"

#include <QDateTime>
#include <QString>

#include <memory>

// The trend window's recording: one more sample output, written by the CSV
// output of `korvexctl watch --csv` itself (a header, one row per poll, a
// lost reply as its time and empty values, each row flushed as it is
// written, so a crash loses at most the row being written). A new file
// replaces an old one of the same name. A write that fails ends the
// recording and says why.
class TrendRecorder : public WatchOutput
{
public:
    // Creates (or truncates) the file and writes the header. False, with the
    // reason in *reason, when the file cannot be written.
    bool start(const QString &path, QString *reason);
    void stop();

    bool isRecording() const { return csv != nullptr; }
    QString fileName() const { return path; }
    int rows() const { return rowCount; }

    // False, with the reason in errorText(), when the row could not be
    // written (or nothing is being recorded); the recording has then ended.
    bool sample(const QDateTime &time, const DevStatusCache &cache) override;
    bool lost(const QDateTime &time) override;
    QString errorText() const override { return error; }

private:
    // Counts a written row; after a failed one, keeps the system's reason
    // and ends the recording.
    bool counted(bool written);

    std::unique_ptr<CsvWatchOutput> csv;
    QString path;
    QString error;
    int rowCount = 0;
};

#endif
