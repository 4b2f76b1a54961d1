#include "SerialNumberRecord.h"

#include <QRegularExpression>

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

bool parse(const QString &text, QByteArray *record)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,8})-([0-9]{8})-?([0-9]{1,5})$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const qint64 model = m.captured(1).toLongLong();
    const QDate date = QDate::fromString(m.captured(2), QStringLiteral("yyyyMMdd"));
    const int number = m.captured(3).toInt();
    if (model >= (1 << 24) || !date.isValid() || date.year() < 2000 || date.year() > 2255 || number > 0xFFFF)
        return false;
    *record = compose(quint32(model), date, quint16(number));
    return true;
}

} // namespace SerialNumberRecord
