#include "MetricsWatchOutput.h"

#include "MetricsBoard.h"
#include "MetricsTextFile.h"

MetricsWatchOutput::MetricsWatchOutput(std::shared_ptr<MetricsBoard> board, int unit,
                                       std::shared_ptr<MetricsTextFile> file)
    : metricsBoard(std::move(board)), unitIndex(unit), textFile(std::move(file))
{
}

bool MetricsWatchOutput::sample(const QDateTime &time, const DevStatusCache &cache)
{
    metricsBoard->sample(unitIndex, time, cache);
    return writeFile();
}

bool MetricsWatchOutput::lost(const QDateTime &time)
{
    metricsBoard->lost(unitIndex, time);
    return writeFile();
}

bool MetricsWatchOutput::writeFile()
{
    return !textFile || textFile->write(metricsBoard->text());
}

QString MetricsWatchOutput::errorText() const
{
    return textFile ? textFile->errorText() : QString();
}
