#ifndef KORVEX_STATUSTEXT_H
#define KORVEX_STATUSTEXT_H

#include "DevStatusCache.h"

#include <QDateTime>
#include <QStringList>

// The device status for a person at a terminal, in English with units.
namespace StatusText {

// 19 "Label: value unit" lines, then the six lamps as words.
QStringList lines(const DevStatusCache &cache);
// One compact line per watched sample.
QString compactLine(const QDateTime &time, const DevStatusCache &cache);
QString lostLine(const QDateTime &time);

} // namespace StatusText

#endif
