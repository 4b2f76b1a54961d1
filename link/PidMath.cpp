#include "PidMath.h"

#include <cmath>
#include <limits>

namespace PidMath {

quint32 scaleCoefficient(const QString &text)
{
    const float typed = text.toFloat(); // 0 when the text is no number
    const float scaled = typed * kScale;
    // Converting a float that does not fit a 64-bit integer is undefined;
    // "nan" gives 0 and huge values saturate before the low word is taken.
    if (std::isnan(scaled))
        return 0;
    qint64 whole;
    if (scaled >= 9.2233720368547758e18f)
        whole = std::numeric_limits<qint64>::max();
    else if (scaled <= -9.2233720368547758e18f)
        whole = std::numeric_limits<qint64>::min();
    else
        whole = static_cast<qint64>(scaled); // truncates toward zero
    return static_cast<quint32>(static_cast<quint64>(whole) & 0xFFFFFFFFu);
}

bool isCoefficientText(const QString &text)
{
    if (text.trimmed().isEmpty())
        return true;
    bool ok = false;
    const float typed = text.toFloat(&ok);
    return ok && std::isfinite(typed);
}

QVector<quint32> coefficientVector(const QString &kp, const QString &ki, const QString &kd)
{
    QVector<quint32> arr(3, 0);
    arr[0] = scaleCoefficient(kp);
    arr[1] = scaleCoefficient(ki);
    arr[2] = scaleCoefficient(kd);
    return arr;
}

QString coefficientText(quint32 raw)
{
    const float value = static_cast<float>(raw) / kScale;
    return QString::number(static_cast<double>(value), 'f', 4);
}

QString statusLine(const QVector<quint32> &status)
{
    if (status.size() < kStatusElements)
        return QString();
    return QString::number(static_cast<qint32>(status[0])) + QLatin1Char(',')
        + QString::number(status[1]) + QLatin1String(",   ")
        + coefficientText(status[2]) + QLatin1Char(',')
        + coefficientText(status[3]) + QLatin1Char(',')
        + coefficientText(status[4]) + QLatin1String(",\n");
}

} // namespace PidMath
