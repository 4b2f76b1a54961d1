#ifndef KORVEX_PIDMATH_H
#define KORVEX_PIDMATH_H

#include <QString>
#include <QVector>

// Conversions of the PID window: typed coefficients to the fixed-point words
// the device takes, and one PID status sample to the text line shown for it.
namespace PidMath {

// Fixed-point scale of the coefficients and of status elements 2 to 4.
constexpr float CoefficientScale = 10000.0f;

// The device's number of status elements the PID window reads.
constexpr int StatusElements = 5;
// Status elements 2, 3 and 4 are the device's KP, KI and KD.
constexpr int FirstCoefficient = 2;

// Typed text -> the 32-bit word sent for it: the command catalogue's one
// parse and scaling of a coefficient (exact decimal times 10000, so 0.0007
// is 7; signed, in 32 bits). Empty text is 0. Non-numbers, non-finite
// values, values beyond 32 bits and digits finer than 1/10000 are refused:
// false, with *error (when given) saying what is allowed.
bool parseCoefficient(const QString &text, quint32 *word, QString *error);
// The word for text that parseCoefficient accepts; 0 for refused text.
quint32 scaleCoefficient(const QString &text);
bool isCoefficientText(const QString &text);

// KP, KI, KD in this order.
QVector<quint32> coefficientVector(const QString &kp, const QString &ki, const QString &kd);

// A coefficient word as the device reports it -> its text with four
// decimals ("1.5000" for 15000), the form the operator types it in.
QString coefficientText(quint32 word);

// "t,p,   a.aaaa,b.bbbb,c.cccc,\n" for status elements 0..4 (0 signed,
// 1 unsigned, 2..4 divided by 10000 with four decimals). A sample with fewer
// than five elements gives an empty string.
QString statusLine(const QVector<quint32> &status);

} // namespace PidMath

#endif
