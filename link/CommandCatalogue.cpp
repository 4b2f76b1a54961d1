#include "CommandCatalogue.h"

#include "FanCommand.h"
#include "LinkText.h"
#include "StatusSchema.h"

#include <QCoreApplication>

#include <QLocale>
#include <QRegularExpression>

#include <limits>

namespace {

constexpr qint64 U16 = 0xFFFF;
constexpr qint64 U32 = 0xFFFFFFFFLL;
constexpr qint64 I32Min = std::numeric_limits<qint32>::min();
constexpr qint64 I32Max = std::numeric_limits<qint32>::max();

using E = DataEncoding;
using W = CommandWord;

// clang-format off
const CommandRow Table[] = {
//  word                name              len  encoding         read   min     max     dec unit   log name                                    off name                        reported by (status keys)    factory  korvexctl sets
    // The restart is guarded by a fixed pattern.
    {W::SoftReset,         "restart",       2, E::Fixed,        false, 0x5AA5, 0x5AA5,    0, "",   QT_TRANSLATE_NOOP("DeviceLink", "软件重启"),         nullptr,                                    nullptr,                       false},
    {W::LaserSwitch,       "laser",         1, E::Byte,         false, 0,      1,      0, "",   QT_TRANSLATE_NOOP("DeviceLink", "开启光源"),         QT_TRANSLATE_NOOP("DeviceLink", "关闭光源"),   nullptr,                       false},
    {W::Power,             "power",         2, E::Word16,       false, 0,      1000,   0, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置激光功率"),     nullptr,                                    "power",                       false, "the laser power"},
    {W::TempThreshold,     "threshold",     2, E::Word16,       false, 200,    500,    1, "°C", QT_TRANSLATE_NOOP("DeviceLink", "设置温度保护阈值"), nullptr,                                    "temp_threshold_c",            false},
    {W::FrameCounters,     "clear-counters",8, E::TwoWords32,   false, 0,      U32,    0, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置收发帧数"),     nullptr,                                    "rx_frames tx_frames",         false},
    {W::SerialNumber,      "serial-number", 8, E::Raw,          false, 0,      0,      0, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置序列号"),       nullptr,                                    "serial_number",               true},
    {W::MaxDacSaved,       "max-dac",       2, E::Word16,       false, 0,      4095,   0, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置最大DAC并保存"), nullptr,                                   "max_dac",                     true},
    {W::MaxDacUnsaved,     "max-dac",       2, E::Word16,       false, 0,      4095,   0, "",   QT_TRANSLATE_NOOP("DeviceLink", "仅设置最大DAC（不保存)"), nullptr,                              "max_dac",                     true},
    // The device keeps 16 bits of hours behind two zero bytes.
    {W::CompensationHours, "compensation",  4, E::Hours16In32,  false, 0,      U16,    0, "h",  QT_TRANSLATE_NOOP("DeviceLink", "设置自动补偿时长"), nullptr,                                    "compensation_hours",          true},
    {W::TecSwitch,         "tec",           1, E::Byte,         false, 0,      1,      0, "",   QT_TRANSLATE_NOOP("DeviceLink", "开启TEC"),          QT_TRANSLATE_NOOP("DeviceLink", "关闭TEC"),    nullptr,                       true},
    {W::TecPowerDac,       "tec dac",       2, E::Word16,       false, 0,      3800,   0, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置TEC功率"),      nullptr,                                    nullptr,                       true},
    {W::AutoTecSwitch,     "tec auto",      1, E::Byte,         false, 0,      1,      0, "",   QT_TRANSLATE_NOOP("DeviceLink", "开启自动控制TEC"),  QT_TRANSLATE_NOOP("DeviceLink", "关闭自动控制TEC"), nullptr,                  true},
    // Three bytes: a kind, then the PWM value 0..1000 (see FanCommand).
    {W::FanDebug,          "fan pwm",       3, E::Raw,          false, 0,      1000,   0, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置风扇调试命令"), nullptr,                                    nullptr,                       true},
    {W::LaserType,         "laser-type",    1, E::Raw,          false, 0,      2,      0, "",   QT_TRANSLATE_NOOP("DeviceLink", "保存激光类型命令"), nullptr,                                    nullptr,                       true},
    // Each coefficient as a signed 32-bit word, the typed value times 10000.
    {W::PidCoefficients,   "pid set",      12, E::ThreeWords32, false, I32Min, I32Max, 4, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置PID系数"),      nullptr,                                    nullptr,                       true},
    {W::PidQuery,          "pid get",       1, E::Fixed,        true,  0,      0,      0, "",   nullptr,                                           nullptr,                                    nullptr,                       true,  nullptr, 3 + 20 + 2},
    {W::AllStatusQuery,    "status",        1, E::Fixed,        true,  1,      1,      0, "",   nullptr,                                           nullptr,                                    nullptr,                       false, nullptr, 3 + 54 + 2},
};
// clang-format on

// What row() gives for a word not in the table: no data, no value allowed.
const CommandRow UnknownRow = {CommandWord(0), "unknown", 0, E::Fixed, false, 1, 0, 0, "", nullptr, nullptr,
                               nullptr, false};

// How many values a command's data is made of.
int valueCount(const CommandRow &s)
{
    switch (s.encoding) {
    case DataEncoding::Fixed: return 0;
    case DataEncoding::Byte:
    case DataEncoding::Word16:
    case DataEncoding::Hours16In32: return 1;
    case DataEncoding::TwoWords32: return 2;
    case DataEncoding::ThreeWords32: return 3;
    case DataEncoding::Raw: return s.dataLength;
    }
    return 0;
}

// A value as the device reads it: signed rows take the bits as two's complement.
qint64 asSent(const CommandRow &s, quint32 value)
{
    if (s.min >= 0)
        return value;
    return s.encoding == DataEncoding::Word16 ? qint64(qint16(value)) : qint64(qint32(value));
}

void appendBigEndian(QByteArray &bytes, quint32 value, int width)
{
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
}

qint64 powerOfTen(int n)
{
    qint64 p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

} // namespace

namespace CommandCatalogue {

const CommandRow *find(quint16 word)
{
    for (const CommandRow &s : Table)
        if (quint16(s.word) == word)
            return &s;
    return nullptr;
}

const CommandRow &row(CommandWord word)
{
    const CommandRow *found = find(quint16(word));
    return found ? *found : UnknownRow;
}

QVector<const CommandRow *> rows()
{
    QVector<const CommandRow *> all;
    for (const CommandRow &s : Table)
        all.append(&s);
    return all;
}

QByteArray encode(CommandWord word, const QVector<quint32> &values)
{
    const CommandRow &s = row(word);
    QByteArray bytes;
    auto value = [&values](int i) { return values.value(i); };
    switch (s.encoding) {
    case DataEncoding::Fixed:
        appendBigEndian(bytes, quint32(s.min), s.dataLength);
        break;
    case DataEncoding::Byte:
        bytes.append(char(value(0)));
        break;
    case DataEncoding::Word16:
        appendBigEndian(bytes, value(0), 2);
        break;
    case DataEncoding::TwoWords32:
        appendBigEndian(bytes, value(0), 4);
        appendBigEndian(bytes, value(1), 4);
        break;
    case DataEncoding::Hours16In32:
        appendBigEndian(bytes, value(0) & 0xFFFF, 4);
        break;
    case DataEncoding::ThreeWords32:
        for (int i = 0; i < 3; ++i)
            appendBigEndian(bytes, value(i), 4);
        break;
    case DataEncoding::Raw:
        for (quint32 v : values)
            bytes.append(char(v));
        break;
    }
    return bytes;
}

QVector<const StatusSchema::Field *> reportingFields(CommandWord word)
{
    QVector<const StatusSchema::Field *> fields;
    const char *keys = row(word).reports;
    if (!keys)
        return fields;
    for (const QString &key : QString::fromLatin1(keys).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (const StatusSchema::Field *f = StatusSchema::find(key))
            fields.append(f);
    return fields;
}

bool accepts(CommandWord word, qint64 sent)
{
    const CommandRow &s = row(word);
    return sent >= s.min && sent <= s.max;
}

bool check(CommandWord word, const QVector<quint32> &values, QString *why)
{
    auto refuse = [why](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
    const CommandRow *s = find(quint16(word));
    if (!s)
        return refuse(QStringLiteral("0x%1 is no known command").arg(quint16(word), 4, 16, QLatin1Char('0')));
    const QString name = QString::fromLatin1(s->name);
    if (s->read)
        return refuse(QStringLiteral("%1 is a query, not a write").arg(name));
    const int count = valueCount(*s);
    if (values.size() != count)
        return refuse(QStringLiteral("%1 takes %2 value%3, not %4").arg(name).arg(count).arg(count == 1 ? "" : "s").arg(values.size()));
    if (s->encoding == DataEncoding::Raw) {
        for (quint32 v : values)
            if (v > 0xFF)
                return refuse(QStringLiteral("%1 takes bytes, not %2").arg(name).arg(v));
        if (word == CommandWord::FanDebug && !FanCommand::isValid(values, s->max))
            return refuse(QStringLiteral("%1: no fan command").arg(name));
        // A one-byte code (the laser type) has its range; a record has none.
        if (count == 1 && !accepts(word, values.at(0)))
            return refuse(QStringLiteral("%1 must be %2, not %3").arg(name, rangeText(word)).arg(values.at(0)));
        return true;
    }
    for (quint32 v : values) {
        const qint64 sent = asSent(*s, v);
        if (!accepts(word, sent))
            return refuse(QStringLiteral("%1 must be %2, not %3").arg(name, rangeText(word), typedText(word, sent)));
    }
    return true;
}

bool encodeChecked(CommandWord word, const QVector<quint32> &values, QByteArray *data, QString *why)
{
    if (!check(word, values, why))
        return false;
    *data = encode(word, values);
    return true;
}

QString typedText(CommandWord word, qint64 sent)
{
    const int decimals = row(word).decimals;
    if (decimals == 0)
        return QString::number(sent);
    const qint64 unit = powerOfTen(decimals);
    const qint64 whole = sent / unit;
    const qint64 part = sent % unit;
    const QString sign = sent < 0 ? QStringLiteral("-") : QString();
    return sign + QString::number(qAbs(whole)) + QLatin1Char('.')
        + QStringLiteral("%1").arg(qAbs(part), decimals, 10, QLatin1Char('0'));
}

double typedValue(CommandWord word, qint64 sent)
{
    return double(sent) / double(powerOfTen(row(word).decimals));
}

QString rangeText(CommandWord word)
{
    const CommandRow &s = row(word);
    QString text = QStringLiteral("%1 to %2").arg(typedText(word, s.min), typedText(word, s.max));
    if (*s.unit)
        text += QLatin1Char(' ') + QString::fromUtf8(s.unit);
    return text;
}

bool parse(CommandWord word, const QString &text, qint64 *sent, QString *error)
{
    const CommandRow &s = row(word);
    auto refuse = [&] {
        QString allowed = rangeText(word);
        if (s.decimals > 0)
            allowed += QStringLiteral(" with at most %1 decimal%2").arg(s.decimals).arg(s.decimals > 1 ? "s" : "");
        else
            allowed = QStringLiteral("a whole number from ") + allowed;
        *error = QStringLiteral("%1 must be %2, not \"%3\"").arg(QString::fromLatin1(s.name), allowed, text);
        return false;
    };
    static const QRegularExpression number(QStringLiteral("^([+-]?)([0-9]*)(?:\\.([0-9]*))?(?:[eE]([+-]?[0-9]{1,4}))?$"));
    const QRegularExpressionMatch m = number.match(text);
    if (!m.hasMatch() || (m.captured(2).isEmpty() && m.captured(3).isEmpty()))
        return refuse();
    // digits * 10^exponent, exactly: the typed value times 10^decimals.
    QString digits = m.captured(2) + m.captured(3);
    int exponent = m.captured(4).toInt() - m.captured(3).size() + s.decimals;
    while (exponent < 0 && digits.endsWith(QLatin1Char('0'))) {
        digits.chop(1);
        ++exponent;
    }
    if (exponent < 0)
        return refuse(); // finer than the device keeps
    while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    if (digits.isEmpty())
        digits = QStringLiteral("0");
    if (digits != QLatin1String("0") && digits.size() + exponent > 15)
        return refuse(); // far beyond any range, and beyond exact arithmetic
    qint64 value = digits.toLongLong() * (digits == QLatin1String("0") ? 1 : powerOfTen(exponent));
    if (m.captured(1) == QLatin1String("-"))
        value = -value;
    if (!accepts(word, value))
        return refuse();
    *sent = value;
    return true;
}

bool parseNumber(CommandWord word, double typed, qint64 *sent, QString *error)
{
    return parse(word, QString::number(typed, 'g', QLocale::FloatingPointShortest), sent, error);
}

QString resultText(quint8 result)
{
    switch (result) {
    case ResultOk: return QCoreApplication::translate("DeviceLink", "成功");
    case ResultPortClosed: return QCoreApplication::translate("DeviceLink", "失败，串口未打开");
    case ResultBusBusy: return QCoreApplication::translate("DeviceLink", "失败，总线忙");
    case ResultCrcError: return QCoreApplication::translate("DeviceLink", "失败，CRC校验出错");
    case ResultDeviceError: return QCoreApplication::translate("DeviceLink", "失败，设备处理命令返回错误");
    case ResultRefused: return QCoreApplication::translate("DeviceLink", "失败，数值不在允许范围内，未发送");
    case ResultDataLost: return QCoreApplication::translate("DeviceLink", "失败，总线数据丢失");
    default: return QCoreApplication::translate("DeviceLink", "失败，原因未知");
    }
}

QString logName(quint16 word, bool switchOn)
{
    const CommandRow *s = find(word);
    if (!s || !s->logName)
        return QCoreApplication::translate("DeviceLink", "设置未知命令");
    return LinkText::tr(!switchOn && s->logNameOff ? s->logNameOff : s->logName);
}

} // namespace CommandCatalogue
