#ifndef KORVEX_METRICSTEXTFILE_H
#define KORVEX_METRICSTEXTFILE_H

#include <QByteArray>
#include <QString>

// The metrics for node_exporter's textfile collector: the whole text is
// written to PATH.tmp beside the file and renamed over it, so the collector
// never reads half a file. (The collector reads only *.prom files, never
// the .tmp.)
class MetricsTextFile
{
public:
    explicit MetricsTextFile(const QString &path) : filePath(path) {}

    // Replaces the file; false with errorText() when it cannot.
    bool write(const QByteArray &text);
    QString path() const { return filePath; }
    QString errorText() const { return lastError; }

private:
    QString filePath;
    QString lastError;
};

#endif
