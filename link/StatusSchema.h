#ifndef KORVEX_STATUSSCHEMA_H
#define KORVEX_STATUSSCHEMA_H

#include "DevStatusCache.h"

#include <QByteArray>
#include <QString>
#include <QVector>

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

// Every field of the device status, written once: where the all-status reply
// carries it, where the status cache keeps it, and how each output names and
// shows it (data display, JSON and CSV record, terminal text, trend). The
// outputs only walk this table; a new field is one more row.
namespace StatusSchema {

// How a raw value reads where a number in a unit is not enough.
enum class Kind {
    Number,       // raw / divisor, in the unit the formats name
    Flag,         // one bit of a status byte
    Firmware,     // major and minor byte, "1.5"
    SerialRecord, // the 8-byte serial number record, kept in serialNum
    RunTime,      // seconds; the display shows whole hours
    LaserType,    // a code with a name
};

// The cache member of a raw value, as two plain functions so that members of
// every integer type fit one table. A flag reads its bit and sets its byte.
struct Member
{
    qint64 (*get)(const DevStatusCache &);
    void (*set)(DevStatusCache &, qint64);
};

// A value as text: "%1" is the value, "%2" a second one for the kinds that
// have it (the whole hours of a run time, the code of a laser type). Numbers
// with a divisor show `decimals` places.
struct Display
{
    quint32 bit;        // DevField bit, which is also the place in the display
    const char *object; // read-only field of the data display
    const char *format; // translated in the link's context (LinkText)
    int decimals;
};

struct Terminal
{
    const char *label;
    const char *format; // a flag has "word when set|word when clear"
    int decimals;
};

// How the metrics endpoint exposes a field, by the Prometheus conventions:
// the base unit as the name's suffix, `_total` for a counter. Fields that
// share a name are one series told apart by their label ("fan=1"); the help
// text comes from the first of them. A text value (firmware, serial number,
// laser type) is a label of the unit's info series instead.
enum class MetricType { Gauge, Counter, InfoLabel };

struct Metric
{
    MetricType type;
    const char *name;  // the series, or for an InfoLabel the label's name
    const char *label; // "name=value" telling the fields of one series apart, or nullptr
    double scale;      // value() * scale is the value in the base unit (hours: 3600)
    const char *help;  // nullptr: a later field of a series already described
};

struct Field
{
    const char *key;  // CSV column, and the JSON key unless `json` names another
    const char *json; // "alarms.temperature": member of an object; "fan_rpm[]": array element
    Kind kind;
    Member raw;
    int offset;       // first byte in the all-status reply's data
    int width;        // bytes there, big-endian
    int divisor;      // raw / divisor is the value in its unit (tenths: 10, mA: 1000)
    Display display;  // bit 0 when the data display has no field for it
    Terminal terminal;
    int trend;        // TrendChannel, -1 when not plotted
    Metric metric;
};

// In the order of the record (JSON, CSV columns).
const QVector<Field> &fields();

// The fields of the data display in their order (DevField bits), then the others.
QVector<const Field *> displayOrder();

// The field with this CSV column, or nullptr.
const Field *find(const QString &key);

qint64 raw(const Field &field, const DevStatusCache &cache);
// raw / divisor
double value(const Field &field, const DevStatusCache &cache);

// The value as the record writes it in plain units at full precision:
// "1.5", "true", "66051-202407090042", "-1.5", "4294967295".
QString plainText(const Field &field, const DevStatusCache &cache);

// Fills every field from the all-status reply's data (at least 54 bytes).
void decode(DevStatusCache &cache, const QByteArray &data);
// Fills one field from `width` bytes of data starting at `at` (they must exist).
void decodeField(DevStatusCache &cache, const Field &field, const QByteArray &data, int at);

// The single-value replies (words 0x0050 to 0x0056) that the window
// decodes: the fields each carries, one after the other from the first data
// byte. The laser state and alarm replies carry their whole status byte,
// which the first flag of that byte stores.
struct SingleReply
{
    quint16 word;
    QVector<const char *> keys;
};
const QVector<SingleReply> &singleReplies();
// The reply with this word, or nullptr.
const SingleReply *singleReply(quint16 word);

// The alarm byte of the status: a bit per alarm.
constexpr quint8 AlarmTemperature = 0x01;
constexpr quint8 AlarmFan1 = 0x02;
constexpr quint8 AlarmFan2 = 0x04;
constexpr quint8 AlarmFan3 = 0x08;
constexpr quint8 AlarmFans = AlarmFan1 | AlarmFan2 | AlarmFan3;

// Each alarm of that byte, in its order: its status field, the main window's
// lamp, the word of the one-line status text and the event list's name
// (translated in the event list's context).
struct Alarm
{
    quint8 bit;
    const char *key;
    const char *lamp;
    const char *word;
    const char *eventName;
};
const QVector<Alarm> &alarms();

// The name of a laser type code, or nullptr for a code the device does not define.
const char *laserTypeName(qint64 code);

} // namespace StatusSchema

#endif
