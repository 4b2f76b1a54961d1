#ifndef KORVEX_TRENDCSV_H
#define KORVEX_TRENDCSV_H

#include <QString>

class TrendStore;

// A recording in `watch --csv` columns (a test record's samples.csv, the
// window's recording) read back into trend samples, so that a chart can be
// drawn of it later: a row without values is a gap.
namespace TrendCsv {

// Appends the file's rows to *store; false with *error when the file cannot
// be read or has no time column.
bool read(const QString &path, TrendStore *store, QString *error);

} // namespace TrendCsv

#endif
