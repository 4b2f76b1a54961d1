#ifndef KORVEX_COMMANDCATALOGUE_H
#define KORVEX_COMMANDCATALOGUE_H

#include <QByteArray>
#include <QString>

#include <QVector>

namespace StatusSchema {
struct Field;
}

// Every device command in one table: its word, how its data is laid out,
// which values the device may be sent, the name the window's log gives it,
// the status fields that report what a write sets and whether it is a factory
// command. The executor, the window, korvexctl, profiles and the simulator
// all read it from here, so every path sends and refuses the same values.

enum class CommandWord : quint16 {
    SoftReset = 0x0001,
    LaserSwitch = 0x0011,
    Power = 0x0012,
    TempThreshold = 0x0013,
    FrameCounters = 0x0014,
    SerialNumber = 0x0015,
    MaxDacSaved = 0x00A1,
    MaxDacUnsaved = 0x00A2,
    CompensationHours = 0x00A3,
    TecSwitch = 0x00A4,
    TecPowerDac = 0x00A5,
    AutoTecSwitch = 0x00A6,
    FanDebug = 0x00A7,
    LaserType = 0x00A8,
    PidCoefficients = 0xA010,
    PidQuery = 0xA111,
    AllStatusQuery = 0x00C1,
};

// The outcome the executor reports for every command.
enum CommandResult : quint8 {
    ResultOk = 0,
    ResultPortClosed = 1,
    ResultBusBusy = 2,
    ResultCrcError = 3, // never reported: a bad CRC is a lost reply
    ResultDeviceError = 4,
    // The values are not the command's (an unknown word, a value outside its
    // row's range, the wrong number of values): refused before the line,
    // nothing was sent.
    ResultRefused = 6,
    ResultDataLost = 255,
};

// How a command's values become its data bytes (always high byte first).
enum class DataEncoding {
    Fixed,          // constant bytes, no value
    Byte,           // one value, one byte
    Word16,         // one value, two bytes (signed values as two's complement)
    TwoWords32,     // two values, four bytes each
    Hours16In32,    // two zero bytes, then the low 16 bits of the value
    ThreeWords32,   // three values, four bytes each
    Raw,            // bytes passed through unchanged
};

struct CommandRow
{
    CommandWord word;
    const char *name;     // korvexctl's word for it ("power", "threshold" ...)
    int dataLength;       // bytes; raw commands pass any number, this is the usual one
    DataEncoding encoding;
    bool read;            // a query with a read reply, not a write
    qint64 min;           // range of one value as sent (after scaling); fixed data: the data
    qint64 max;
    int decimals;         // the value as typed has this many decimals: sent = typed * 10^decimals
    const char *unit;     // of the typed value, for messages ("°C", "h", "")
    const char *logName;  // the window's log name; for switches the "on" name
    const char *logNameOff; // for switches: the "off" name, else nullptr
    // The status-schema keys (space separated, in the order of the data) of
    // the fields that report what the write sets: the window copies a
    // successful write into them, korvexctl --verify and profiles read them
    // back. nullptr: the status does not report it.
    const char *reports;
    bool factory;
    // What korvexctl's "NAME N" sets ("the laser power"): its summary, usage
    // and help come from the row. nullptr: the command is written by hand.
    const char *sets = nullptr;
    int replyLength = 6;  // bytes of a whole reply: 6 for a write
};

namespace CommandCatalogue {

// The row of a word; nullptr for a word not in the table.
const CommandRow *find(quint16 word);
// The row of a word; for a word not in the table a row that accepts nothing
// (no data, an empty range, no name).
const CommandRow &row(CommandWord word);
// Every row, in the table's order.
QVector<const CommandRow *> rows();
inline quint16 code(CommandWord word) { return quint16(word); }

// The data bytes of a command for these values (fixed data, when there is
// one, needs none; raw commands one value per byte), laid out as the
// executor's specified slots send them: no range is looked at, so a value
// the device would refuse is encoded as given. Every other way to the line
// goes through encodeChecked.
QByteArray encode(CommandWord word, const QVector<quint32> &values);

// The status fields that report what this command sets (its row's
// `reports`), in the order of its data; empty when none.
QVector<const StatusSchema::Field *> reportingFields(CommandWord word);

// Whether a value as sent lies in the command's range (never for a word not
// in the table).
bool accepts(CommandWord word, qint64 sent);

// Whether these values make a command its row allows: a word in the table
// that is written, as many values as its data takes (a raw command: one
// byte each, as many as its data length), each in the row's range (signed
// rows read the values as two's complement; the laser type's code, the fan
// command's kind and PWM value). False with *why saying what is wrong.
bool check(CommandWord word, const QVector<quint32> &values, QString *why = nullptr);
// check, then encode: false (data untouched) for values check refuses.
bool encodeChecked(CommandWord word, const QVector<quint32> &values, QByteArray *data, QString *why = nullptr);

// Typed text -> the value as sent: a decimal number (sign, digits, point,
// exponent allowed), multiplied by 10^decimals exactly, in range, and not
// finer than the device keeps (trailing zeros aside). "nan", "inf", "1,5",
// "1e30" and "0.00005" for a four-decimal value are refused with a message
// that names what is allowed. The same text gives the same value on every
// path.
bool parse(CommandWord word, const QString &text, qint64 *sent, QString *error);
// A typed number as it comes from a file (JSON), taken as its shortest text.
bool parseNumber(CommandWord word, double typed, qint64 *sent, QString *error);

// A value as sent, shown as typed: 375 -> "37.5" for the threshold.
QString typedText(CommandWord word, qint64 sent);
double typedValue(CommandWord word, qint64 sent);
// "20.0 to 50.0 °C", for help and refusals.
QString rangeText(CommandWord word);

// The window's texts.
QString resultText(quint8 result);
QString logName(quint16 word, bool switchOn);

} // namespace CommandCatalogue

#endif
