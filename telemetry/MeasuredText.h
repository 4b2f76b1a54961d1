#ifndef KORVEX_MEASUREDTEXT_H
#define KORVEX_MEASUREDTEXT_H

#include <QString>

#include <cmath>

// A measured value as a person reads it: whole numbers whole, others to six
// significant digits ("1.86733", not "1.8673333333333"). Records keep the
// full value; messages and certificates show this.
inline QString measuredText(double v)
{
    if (std::isfinite(v) && v == std::round(v) && std::abs(v) < 1e15)
        return QString::number(qint64(v));
    return QString::number(v, 'g', 6);
}

#endif
