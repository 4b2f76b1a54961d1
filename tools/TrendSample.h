#ifndef KORVEX_TRENDSAMPLE_H
#define KORVEX_TRENDSAMPLE_H

#include "DevStatusCache.h"

#include <QtGlobal>

// The plotted quantities of one status reply, in the units the charts show.
enum TrendChannel {
    TrendLaserTemp,     // ℃
    TrendTemp2,         // ℃
    TrendMcuTemp,       // ℃
    TrendEnvTemp,       // ℃
    TrendTempThreshold, // ℃, the protection threshold
    TrendLaserCurrent,  // A
    TrendTecCurrent,    // A
    TrendFan1,          // rpm
    TrendFan2,          // rpm
    TrendFan3,          // rpm
    TrendChannelCount
};

// Alarm bits as the device reports them (bit 0 temperature, bits 1-3 fans).
constexpr quint8 TrendTempAlarmMask = 0x01;
constexpr quint8 TrendFanAlarmMask = 0x0E;

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
        s.values[TrendLaserTemp] = c.ldTemp / 10.0f;
        s.values[TrendTemp2] = c.ldTemp2 / 10.0f;
        s.values[TrendMcuTemp] = c.mcuTemp / 10.0f;
        s.values[TrendEnvTemp] = c.envTemp / 10.0f;
        s.values[TrendTempThreshold] = c.tempThreshold / 10.0f;
        s.values[TrendLaserCurrent] = c.ldCurrent / 1000.0f;
        s.values[TrendTecCurrent] = c.tecCurrentMa / 1000.0f;
        s.values[TrendFan1] = c.fanSpeed1;
        s.values[TrendFan2] = c.fanSpeed2;
        s.values[TrendFan3] = c.fanSpeed3;
        return s;
    }
};

#endif
