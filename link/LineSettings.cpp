#include "LineSettings.h"

#include <QFileInfo>

bool LineSettings::fromDialogTexts(const QVector<QString> &texts, LineSettings *out)
{
    *out = LineSettings();
    if (!texts.isEmpty())
        out->name = texts.at(0);
    if (texts.size() < 4)
        return false;
    out->baud = texts.at(1).toInt(nullptr, 10);
    const QString &stop = texts.at(2);
    if (stop == QLatin1String("1.5"))
        out->stopBits = StopBits::OneAndHalf;
    else if (stop == QLatin1String("2"))
        out->stopBits = StopBits::Two;
    // The parity words of the dialog's list, compared as sent.
    const QString &parity = texts.at(3);
    if (parity == QStringLiteral("奇校验"))
        out->parity = Parity::Odd;
    else if (parity == QStringLiteral("偶校验"))
        out->parity = Parity::Even;
    return true;
}

QString LineSettings::shortText() const
{
    const char parityLetter = parity == Parity::Odd ? 'O' : parity == Parity::Even ? 'E' : 'N';
    const char *stop = stopBits == StopBits::OneAndHalf ? "1.5" : stopBits == StopBits::Two ? "2" : "1";
    return QStringLiteral("8%1%2").arg(QLatin1Char(parityLetter)).arg(QLatin1String(stop));
}

bool LineSettings::operator==(const LineSettings &other) const
{
    return name == other.name && baud == other.baud && stopBits == other.stopBits && parity == other.parity;
}

QString LineSettings::openableName(const QString &given)
{
    if (given.contains(QLatin1Char('/')) && QFileInfo(given).isRelative())
        return QFileInfo(given).absoluteFilePath();
    return given;
}
