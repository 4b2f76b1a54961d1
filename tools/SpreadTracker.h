#ifndef KORVEX_SPREADTRACKER_H
#define KORVEX_SPREADTRACKER_H

#include <QtGlobal>

// Keeps the largest and smallest sample since the last reset. A reset puts
// both ends on a marker value; while the largest equals the marker, the next
// sample starts the tracking afresh (so a sample equal to the marker leaves
// the tracker in its reset state).
template <typename T>
class SpreadTracker
{
public:
    explicit SpreadTracker(T marker) : m_marker(marker) { reset(); }

    void reset() { m_max = m_min = m_marker; }

    void add(T sample)
    {
        if (m_max == m_marker)
            m_max = m_min = sample;
        else if (sample > m_max)
            m_max = sample;
        else if (sample < m_min)
            m_min = sample;
    }

    T maximum() const { return m_max; }
    T minimum() const { return m_min; }
    // Widened so that the spread of two extreme signed values cannot overflow.
    qint64 spread() const { return qint64(m_max) - qint64(m_min); }

private:
    T m_marker;
    T m_max;
    T m_min;
};

// The PID window's two trackers: the temperature (signed) and the PWM value.
using TempSpreadTracker = SpreadTracker<qint32>;
using PwmSpreadTracker = SpreadTracker<quint32>;
constexpr qint32 kTempResetMarker = -100000;
constexpr quint32 kPwmResetMarker = 500000;

#endif
