#include "CommandCatalogue.h"

#include "LinkText.h"

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
//  word                name              len  encoding         read   min     max     dec unit   log name                                    off name                        echo                         factory  korvexctl sets
    // The restart is guarded by a fixed pattern.
    {W::SoftReset,         "restart",       2, E::Fixed,        false, 0x5AA5, 0x5AA5,    0, "",   QT_TRANSLATE_NOOP("DeviceLink", "软件重启"),         nullptr,                                    WriteEcho::None,              false},
    {W::LaserSwitch,       "laser",         1, E::Byte,         false, 0,      1,      0, "",   QT_TRANSLATE_NOOP("DeviceLink", "开启光源"),         QT_TRANSLATE_NOOP("DeviceLink", "关闭光源"),   WriteEcho::None,              false},
    {W::Power,             "power",         2, E::Word16,       false, 0,      1000,   0, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置激光功率"),     nullptr,                                    WriteEcho::Power,             false, "the laser power"},
    {W::TempThreshold,     "threshold",     2, E::Word16,       false, 200,    500,    1, "°C", QT_TRANSLATE_NOOP("DeviceLink", "设置温度保护阈值"), nullptr,                                    WriteEcho::TempThreshold,     false},
    {W::FrameCounters,     "clear-counters",8, E::TwoWords32,   false, 0,      U32,    0, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置收发帧数"),     nullptr,                                    WriteEcho::FrameCounters,     false},
    {W::SerialNumber,      "serial-number", 8, E::Raw,          false, 0,      0,      0, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置序列号"),       nullptr,                                    WriteEcho::SerialNumber,      true},
    {W::MaxDacSaved,       "max-dac",       2, E::Word16,       false, 0,      4095,   0, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置最大DAC并保存"), nullptr,                                   WriteEcho::MaxDac,            true},
    {W::MaxDacUnsaved,     "max-dac",       2, E::Word16,       false, 0,      4095,   0, "",   QT_TRANSLATE_NOOP("DeviceLink", "仅设置最大DAC（不保存)"), nullptr,                              WriteEcho::MaxDac,            true},
    // The device keeps 16 bits of hours behind two zero bytes.
    {W::CompensationHours, "compensation",  4, E::Hours16In32,  false, 0,      U16,    0, "h",  QT_TRANSLATE_NOOP("DeviceLink", "设置自动补偿时长"), nullptr,                                    WriteEcho::CompensationHours, true},
    {W::TecSwitch,         "tec",           1, E::Byte,         false, 0,      1,      0, "",   QT_TRANSLATE_NOOP("DeviceLink", "开启TEC"),          QT_TRANSLATE_NOOP("DeviceLink", "关闭TEC"),    WriteEcho::None,              true},
    {W::TecPowerDac,       "tec dac",       2, E::Word16,       false, 0,      3800,   0, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置TEC功率"),      nullptr,                                    WriteEcho::None,              true},
    {W::AutoTecSwitch,     "tec auto",      1, E::Byte,         false, 0,      1,      0, "",   QT_TRANSLATE_NOOP("DeviceLink", "开启自动控制TEC"),  QT_TRANSLATE_NOOP("DeviceLink", "关闭自动控制TEC"), WriteEcho::None,         true},
    // Three bytes: a kind, then the PWM value 0..1000 (see FanCommand).
    {W::FanDebug,          "fan pwm",       3, E::Raw,          false, 0,      1000,   0, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置风扇调试命令"), nullptr,                                    WriteEcho::None,              true},
    {W::LaserType,         "laser-type",    1, E::Raw,          false, 0,      2,      0, "",   QT_TRANSLATE_NOOP("DeviceLink", "保存激光类型命令"), nullptr,                                    WriteEcho::None,              true},
    // Each coefficient as a signed 32-bit word, the typed value times 10000.
    {W::PidCoefficients,   "pid set",      12, E::ThreeWords32, false, I32Min, I32Max, 4, "",   QT_TRANSLATE_NOOP("DeviceLink", "设置PID系数"),      nullptr,                                    WriteEcho::None,              true},
    {W::PidQuery,          "pid get",       1, E::Fixed,        true,  0,      0,      0, "",   nullptr,                                           nullptr,                                    WriteEcho::None,              true,  nullptr, 3 + 20 + 2},
    {W::AllStatusQuery,    "status",        1, E::Fixed,        true,  1,      1,      0, "",   nullptr,                                           nullptr,                                    WriteEcho::None,              false, nullptr, 3 + 54 + 2},
};
// clang-format on

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
    return *find(quint16(word));
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

bool accepts(CommandWord word, qint64 sent)
{
    const CommandRow &s = row(word);
    return sent >= s.min && sent <= s.max;
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
