#ifndef KORVEX_PIDMATH_H
#define KORVEX_PIDMATH_H

#include <QString>
#include <QVector>

// Conversions of the PID window: typed coefficients to the fixed-point words
// the device takes, and one PID status sample to the text line shown for it.
namespace PidMath {

// Fixed-point scale of the coefficients and of status elements 2 to 4.
constexpr float kScale = 10000.0f;

// The device's number of status elements the PID window reads.
constexpr int kStatusElements = 5;
// Status elements 2, 3 and 4 are the device's KP, KI and KD.
constexpr int kFirstCoefficient = 2;

// Typed text -> the 32-bit word sent for it: parsed in single precision,
// multiplied by 10000 in single precision, truncated toward zero, low 32 bits.
// Unparsable text gives 0; negative values go out as two's complement.
quint32 scaleCoefficient(const QString &text);

// Whether typed text is a coefficient the device can be sent: empty (sent as
// 0) or a finite decimal number with '.' as the decimal point. "1,5", "1.5x"
// or "nan" are not; scaleCoefficient would silently turn them into 0.
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
