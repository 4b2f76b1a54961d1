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
    explicit SpreadTracker(T marker) : resetMarker(marker) { reset(); }

    void reset() { largest = smallest = resetMarker; }

    void add(T sample)
    {
        if (largest == resetMarker)
            largest = smallest = sample;
        else if (sample > largest)
            largest = sample;
        else if (sample < smallest)
            smallest = sample;
    }

    T maximum() const { return largest; }
    T minimum() const { return smallest; }
    // Widened so that the spread of two extreme signed values cannot overflow.
    qint64 spread() const { return qint64(largest) - qint64(smallest); }

private:
    T resetMarker;
    T largest;
    T smallest;
};

// The PID window's two trackers: the temperature (signed) and the PWM value.
using TempSpreadTracker = SpreadTracker<qint32>;
using PwmSpreadTracker = SpreadTracker<quint32>;
constexpr qint32 TempResetMarker = -100000;
constexpr quint32 PwmResetMarker = 500000;

#endif
