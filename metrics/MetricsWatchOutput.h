#ifndef KORVEX_METRICSWATCHOUTPUT_H
#define KORVEX_METRICSWATCHOUTPUT_H

#include "WatchOutput.h"

#include <memory>

class MetricsBoard;
class MetricsTextFile;

// One watched unit's samples into the metrics: its row of the board that
// the HTTP endpoint serves, and the text file rewritten after every sample
// (when there is one; several units share board and file).
class MetricsWatchOutput : public WatchOutput
{
public:
    MetricsWatchOutput(std::shared_ptr<MetricsBoard> board, int unit, std::shared_ptr<MetricsTextFile> file);

    bool sample(const QDateTime &time, const DevStatusCache &cache) override;
    bool lost(const QDateTime &time) override;
    QString errorText() const override;

private:
    bool writeFile();

    std::shared_ptr<MetricsBoard> metricsBoard;
    int unitIndex;
    std::shared_ptr<MetricsTextFile> textFile;
};

#endif
