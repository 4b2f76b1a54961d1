#include "YmodemHeader.h"

#include <QByteArray>

QString YmodemHeader::fileName(const quint8 *block, quint32 length)
{
    const char *data = reinterpret_cast<const char *>(block);
    return QString::fromLocal8Bit(data, int(qstrnlen(data, length)));
}

bool YmodemHeader::fileSize(const quint8 *block, quint32 length, quint64 *size)
{
    const char *data = reinterpret_cast<const char *>(block);
    const uint sizeStart = qstrnlen(data, length) + 1;
    QByteArray text;
    if (sizeStart < length)
        text = QByteArray(data + sizeStart, int(qstrnlen(data + sizeStart, length - sizeStart)));
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

bool YmodemHeader::isControl(QChar c)
{
    const ushort u = c.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || c.category() == QChar::Other_Format
        || u == 0x2028 || u == 0x2029;
}

QString YmodemHeader::printable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (isControl(c) && u <= 0xFF)
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else if (isControl(c))
            out += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}
