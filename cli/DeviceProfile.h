#ifndef KORVEX_DEVICEPROFILE_H
#define KORVEX_DEVICEPROFILE_H

#include "DevStatusCache.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

// A device's settings as a JSON file, to back them up and to set up more
// devices the same way: threshold, power, maximum DAC, compensation hours,
// laser type, PID coefficients and, if wanted, the serial number record.
//
// {"korvex_profile": 1, "temp_threshold_c": 45.5, "power": 640, "max_dac": 3900,
//  "compensation_hours": 36, "laser_type": 2, "pid": {"kp": 1.5, "ki": 0.1, "kd": 0},
//  "serial_number": "66051-202407090042", "serial_record": "010203180709002a"}
struct DeviceProfile
{
    qint16 thresholdTenths = 0;
    quint16 power = 0;
    quint16 maxDac = 0;
    quint32 compensationHours = 0;
    quint8 laserType = 0;
    QVector<quint32> pidWords{0, 0, 0}; // KP, KI, KD as sent (scaled by 10000)
    QByteArray serialRecord;            // 8 bytes, or empty when not included

    // From a status reply and the PID reply's elements 0..4.
    static DeviceProfile fromDevice(const DevStatusCache &status, const QVector<quint32> &pid, bool withSerial);

    QJsonObject toJson() const;
    // false with *error naming the first unusable key.
    static bool fromJson(const QJsonObject &o, DeviceProfile *profile, QString *error);
};

#endif
