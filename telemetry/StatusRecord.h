#ifndef KORVEX_STATUSRECORD_H
#define KORVEX_STATUSRECORD_H

#include "DevStatusCache.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// The device status as a machine-readable record: the JSON object of
// `korvexctl status --json` and the rows of a CSV recording. Everything is
// computed from the status cache's raw fields (the bit fields, not the
// window's decoded flags), in plain units at full precision: degrees Celsius,
// amperes (1234 mA is 1.234), seconds, hours, rpm.
//
// Several outputs (the command line, the window's recorder, MQTT) rely on
// these keys and column names staying exactly as they are.
namespace StatusRecord {

// {"firmware": "2.7", "laser_on": true, "alarms": {"temperature": false,
//  "fan1": .., "fan2": .., "fan3": ..}, "power": 500, "temp_threshold_c": 45.5,
//  "rx_frames": .., "tx_frames": .., "serial_number": "66051-202407090042",
//  "run_seconds": .., "compensation_hours": .., "fan_rpm": [a, b, c],
//  "laser_current_a": 1.234, "tec_current_a": .., "laser_temp_c": ..,
//  "temp2_c": .., "max_dac": .., "laser_type": 0, "mcu_temp_c": ..,
//  "ambient_temp_c": ..}
QJsonObject statusJson(const DevStatusCache &cache);

// The keys of statusJson for a help text, in record order:
// "firmware, laser_on, alarms{temperature,fan1,fan2,fan3}, power, ... fan_rpm[3], ..."
QString jsonKeysText();

// One polled sample: {"time": timestamp, ...statusJson}.
QJsonObject sampleJson(const QDateTime &time, const DevStatusCache &cache);
// A sample whose reply was lost: {"time": timestamp, "lost": true}.
QJsonObject lostSampleJson(const QDateTime &time);

// CSV column names: "time", then the JSON keys flattened (alarm_temperature,
// alarm_fan1..3, fan1_rpm..fan3_rpm), in the order of statusJson.
QStringList csvHeader();
// The values of one sample, one per column of csvHeader().
QStringList csvValues(const QDateTime &time, const DevStatusCache &cache);
// A lost reply: its time and every other column empty.
QStringList lostCsvValues(const QDateTime &time);
// Fields joined by commas (quoted only where needed), without line end.
QString csvLine(const QStringList &fields);

// ISO 8601 with milliseconds and the UTC offset: "2026-12-07T14:58:26.123+01:00"
// ("Z" for UTC times).
QString timestamp(const QDateTime &time);

} // namespace StatusRecord

#endif
