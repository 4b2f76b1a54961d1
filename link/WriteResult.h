#ifndef KORVEX_WRITERESULT_H
#define KORVEX_WRITERESULT_H

#include "DevStatusCache.h"

#include <QByteArray>
#include <QString>

// Wording of a finished write for the debug log, and the copy of the written
// value into the status cache. Both work from the frame that was sent:
// address, command word (bytes 1-2), data from byte 3, CRC.
namespace WriteResult {

QString resultText(quint8 result);             // 0 -> "成功", 1 -> "失败，串口未打开" ...
QString commandName(const QByteArray &sentFrame); // by command word (and byte 3 for switches)
// The log message: name, result text, "\n".
QString logMessage(quint8 result, const QByteArray &sentFrame);

// After a successful write: copies the sent value into the cache. Returns
// false when the word carries no cached value or the frame is too short to
// hold it (nothing is changed then).
bool applyWriteEcho(DevStatusCache &cache, const QByteArray &sentFrame);

} // namespace WriteResult

#endif
