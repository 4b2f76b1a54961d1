#ifndef KORVEX_TRENDEXPORT_H
#define KORVEX_TRENDEXPORT_H

#include <QString>

class StatusHistory;
class TrendStore;

// What the trend window writes out: every poll it keeps as the CSV of
// `korvexctl watch --csv`, and the charts of a time span as a picture,
// drawn as the printed reports draw them.
namespace TrendExport {

// False with *error set when the file cannot be written.
bool writeCsv(const StatusHistory &history, const QString &path, QString *error);
bool writePng(const TrendStore &store, qint64 from, qint64 to, const QString &path, QString *error);
// "korvex-trend-66051-202407090042-20261209-031500.csv": the unit (when
// known) and the time.
QString defaultName(const QString &serial, const QString &suffix);

} // namespace TrendExport

#endif
