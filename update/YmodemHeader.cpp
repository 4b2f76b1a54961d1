#include "YmodemHeader.h"

#include "Ymodem.h"

#include <QByteArray>

QString YmodemHeader::fileName(const quint8 *block)
{
    const char *data = reinterpret_cast<const char *>(block);
    return QString::fromLocal8Bit(data, int(qstrnlen(data, Ymodem::SmallBlock)));
}

bool YmodemHeader::fileSize(const quint8 *block, quint64 *size)
{
    const char *data = reinterpret_cast<const char *>(block);
    const int sizeStart = int(qstrnlen(data, Ymodem::SmallBlock)) + 1;
    QByteArray text;
    if (sizeStart < int(Ymodem::SmallBlock))
        text = QByteArray(data + sizeStart, int(qstrnlen(data + sizeStart, Ymodem::SmallBlock - uint(sizeStart))));
    const int space = text.indexOf(' ');
    if (space >= 0)
        text.truncate(space);
    if (text.isEmpty() || text.size() > 20)
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    bool ok = false;
    *size = text.toULongLong(&ok, 10);
    return ok;
}
