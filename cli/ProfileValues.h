#ifndef KORVEX_PROFILEVALUES_H
#define KORVEX_PROFILEVALUES_H

#include "DeviceProfile.h"

#include <QString>
#include <QVector>

#include <functional>

class PlCommand;

// The values a profile sets, in the order apply writes them: each one's
// command name, how a profile's value reads ("42.5", "36 h") and its write.
// A dry run shows the same texts for the unit's current value.
struct ProfileValue
{
    QString name; // "threshold", "pid set"
    std::function<QString(const DeviceProfile &)> text;
    std::function<quint8(PlCommand &, const DeviceProfile &)> write;

    // "threshold 42.5", as apply prints it.
    QString what(const DeviceProfile &p) const { return name + QLatin1Char(' ') + text(p); }
};

// The values of every profile, then the serial number when asked for and
// the profile holds one.
QVector<ProfileValue> profileValues(const DeviceProfile &profile, bool withSerial);

#endif
