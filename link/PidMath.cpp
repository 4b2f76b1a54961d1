#include "PidMath.h"

#include "CommandCatalogue.h"

namespace PidMath {

bool parseCoefficient(const QString &text, quint32 *word, QString *error)
{
    // An empty field is sent as 0, as it always was.
    const QString typed = text.trimmed();
    qint64 sent = 0;
    QString why;
    if (!typed.isEmpty() && !CommandCatalogue::parse(CommandWord::PidCoefficients, typed, &sent, &why)) {
        if (error)
            *error = why;
        return false;
    }
    *word = quint32(qint32(sent));
    return true;
}

quint32 scaleCoefficient(const QString &text)
{
    quint32 word = 0;
    return parseCoefficient(text, &word, nullptr) ? word : 0;
}

bool isCoefficientText(const QString &text)
{
    quint32 word = 0;
    return parseCoefficient(text, &word, nullptr);
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
    const float value = static_cast<float>(raw) / CoefficientScale;
    return QString::number(static_cast<double>(value), 'f', 4);
}

QString statusLine(const QVector<quint32> &status)
{
    if (status.size() < StatusElements)
        return QString();
    return QString::number(static_cast<qint32>(status[0])) + QLatin1Char(',')
        + QString::number(status[1]) + QLatin1String(",   ")
        + coefficientText(status[2]) + QLatin1Char(',')
        + coefficientText(status[3]) + QLatin1Char(',')
        + coefficientText(status[4]) + QLatin1String(",\n");
}

} // namespace PidMath
