#include "TrendRecorder.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>

namespace {
// The system's reason for the last failed open or write.
QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
} // namespace

bool TrendRecorder::start(const QString &target, QString *reason)
{
    stop();
    path = target;
    rowCount = 0;
    csv = std::make_unique<CsvWatchOutput>();
    QString detail;
    if (!csv->open(target, WatchTextFile::Existing::Overwrite, &detail)) {
        *reason = systemReason();
        csv.reset();
        return false;
    }
    return true;
}

void TrendRecorder::stop()
{
    csv.reset();
}

bool TrendRecorder::sample(const QDateTime &time, const DevStatusCache &cache)
{
    return counted(csv && csv->sample(time, cache));
}

bool TrendRecorder::lost(const QDateTime &time)
{
    return counted(csv && csv->lost(time));
}

bool TrendRecorder::counted(bool written)
{
    if (written) {
        ++rowCount;
        return true;
    }
    error = csv ? systemReason() : QCoreApplication::translate("TrendRecorder", "未在记录");
    csv.reset();
    return false;
}
