#ifndef KORVEX_DEVICEPROFILE_H
#define KORVEX_DEVICEPROFILE_H

#include "CommandCatalogue.h"
#include "DevStatusCache.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

// A device's settings as a JSON file, to back them up and to set up more
// devices the same way: threshold, power, maximum DAC, compensation hours,
// laser type, PID coefficients and, if wanted, the serial number record;
// plus the unit it came from (firmware, laser type, serial number).
//
// {"korvex_profile": 1, "temp_threshold_c": 45.5, "power": 640, "max_dac": 3900,
//  "compensation_hours": 36, "laser_type": 2, "pid": {"kp": 1.5, "ki": 0.1, "kd": 0},
//  "serial_number": "66051-202407090042", "serial_record": "010203180709002a",
//  "source": {"firmware": "1.5", "laser_type": 2, "serial_number": "66051-202407090042"}}
//
// Every value is checked as the command line and the window check it (the
// command catalogue); a file with one bad, unknown or repeated key is refused
// as a whole.
struct DeviceProfile
{
    qint16 thresholdTenths = 0;
    quint16 power = 0;
    quint16 maxDac = 0;
    quint32 compensationHours = 0;
    quint8 laserType = 0;
    QVector<quint32> pidWords{0, 0, 0}; // KP, KI, KD as sent (scaled by 10000)
    QByteArray serialRecord;            // 8 bytes, or empty when not included

    // The unit the profile was saved from; empty in hand-written files.
    struct Source
    {
        QString firmware;
        int laserType = -1;
        QString serialNumber;
        bool isEmpty() const { return firmware.isEmpty() && laserType < 0 && serialNumber.isEmpty(); }
    } source;

    // A device value the profile sets, as its command sends it.
    struct Write
    {
        CommandWord word;
        QVector<quint32> values;
    };
    // The device values in the order apply writes them: threshold, power,
    // maximum DAC, compensation, laser type, then the PID coefficients (the
    // serial number record, written only when asked for, is not among them).
    QVector<Write> writes() const;

    // The largest profile file that is read: a real one is well below 1 KiB.
    static constexpr qint64 MaxFileSize = 64 * 1024;

    // From a status reply and the PID reply's elements 0..4.
    static DeviceProfile fromDevice(const DevStatusCache &status, const QVector<quint32> &pid, bool withSerial);
    static Source sourceOf(const DevStatusCache &status);

    QJsonObject toJson() const;
    // A whole file's bytes; false with *error saying what is wrong.
    static bool fromFile(const QByteArray &bytes, DeviceProfile *profile, QString *error);
    static bool fromJson(const QJsonObject &o, DeviceProfile *profile, QString *error);

    // How the unit `target` differs from the profile's source, one text per
    // difference ("firmware 1.6 (profile: 1.5)"); empty when alike. The
    // serial number is compared only when `serialToo`.
    QStringList differencesFrom(const Source &target, bool serialToo = true) const;
};

#endif
