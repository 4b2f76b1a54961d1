#ifndef KORVEX_STATUSFORMAT_H
#define KORVEX_STATUSFORMAT_H

#include "DevStatusCache.h"

#include <QPair>
#include <QString>
#include <QVector>

// Texts of the data display and states of the lamps, computed from the
// status cache alone so that they can be checked without a window.
namespace StatusFormat {

// "66051-202407090042": model number, "-", year, month, day, number of the
// day. A record shorter than 8 bytes (nothing read yet) gives an empty text.
QString formatSerialNumber(const QByteArray &record);

QString laserTypeText(quint32 type); // 0 -> "Ld-25W"

// (object name of the read-only field, its text), in the order the display
// is rewritten; entry i belongs to DevField bit i.
QVector<QPair<QString, QString>> fieldTexts(const DevStatusCache &cache);

// The texts the display shows: as fieldTexts, but empty for every field the
// device has not reported yet (see DevStatusCache::reportedFields), as the
// form has them at start.
QVector<QPair<QString, QString>> shownFieldTexts(const DevStatusCache &cache);

// (object name of the lamp label, true for green). Uses the decoded flags
// (ldOn, commError, tempAlarm, fan1-3Alarm) as they are in the cache.
QVector<QPair<QString, bool>> lampStates(const DevStatusCache &cache);

} // namespace StatusFormat

#endif
