#include "SerialNumberRecord.h"

namespace SerialNumberRecord {

QByteArray compose(quint32 model, const QDate &date, quint16 number)
{
    QByteArray r;
    r.append(char((model >> 16) & 0xFF));
    r.append(char((model >> 8) & 0xFF));
    r.append(char(model & 0xFF));
    r.append(char((date.year() + 48) & 0xFF)); // year - 2000 for 2000..2255
    r.append(char(date.month()));
    r.append(char(date.day()));
    r.append(char(number >> 8));
    r.append(char(number & 0xFF));
    return r;
}

} // namespace SerialNumberRecord
