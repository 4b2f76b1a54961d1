#ifndef KORVEX_TRENDSAMPLE_H
#define KORVEX_TRENDSAMPLE_H

#include "StatusSchema.h"

#include <QtGlobal>

// The alarms the charts shade, as the device reports them.
constexpr quint8 TrendTempAlarmMask = StatusSchema::AlarmTemperature;
constexpr quint8 TrendFanAlarmMask = StatusSchema::AlarmFans;

// One poll: the values of a complete status reply, or a gap (a lost reply or
// a closed port) that no line may cross.
struct TrendSample
{
    qint64 msecs = 0; // milliseconds since the epoch
    bool valid = false;
    quint8 alarms = 0;
    float values[TrendChannelCount] = {};

    static TrendSample gap(qint64 msecs)
    {
        TrendSample s;
        s.msecs = msecs;
        return s;
    }

    static TrendSample fromStatus(qint64 msecs, const DevStatusCache &c)
    {
        TrendSample s;
        s.msecs = msecs;
        s.valid = true;
        s.alarms = c.alarmBits & (TrendTempAlarmMask | TrendFanAlarmMask);
        for (const StatusSchema::Field &f : StatusSchema::fields())
            if (f.trend >= 0)
                s.values[f.trend] = float(StatusSchema::raw(f, c)) / float(f.divisor);
        return s;
    }
};

#endif
