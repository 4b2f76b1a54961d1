#ifndef KORVEX_SERIALNUMBERRECORD_H
#define KORVEX_SERIALNUMBERRECORD_H

#include <QByteArray>
#include <QDate>
#include <QString>

// The device's 8-byte serial number record, laid out as the serial number
// composer builds it: model number (3 bytes), year - 2000, month, day, number
// of the unit on that day (2 bytes), every number high byte first.
namespace SerialNumberRecord {

// model below 2^24, number at most 65535 (the composer allows 7 and 4 digits).
QByteArray compose(quint32 model, const QDate &date, quint16 number);

// "25001-20240709-0042" (the dash before the number may be left out, as the
// status shows it: "25001-202407090042") -> the record; false for anything
// else, a date that does not exist included.
bool parse(const QString &text, QByteArray *record);

} // namespace SerialNumberRecord

#endif
