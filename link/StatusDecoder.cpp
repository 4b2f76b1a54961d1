#include "StatusDecoder.h"

#include "StatusSchema.h"

namespace StatusDecoder {

quint16 be16(const QByteArray &bytes, int at)
{
    return quint16((quint8(bytes.at(at)) << 8) | quint8(bytes.at(at + 1)));
}

quint32 be32(const QByteArray &bytes, int at)
{
    return (quint32(be16(bytes, at)) << 16) | be16(bytes, at + 2);
}

quint16 commandWord(const QByteArray &frame)
{
    return frame.size() < 3 ? 0 : be16(frame, 1);
}

int requiredFrameSize(quint16 word)
{
    if (word == WordAllStatus)
        return AllStatusFrameSize;
    const StatusSchema::SingleReply *reply = StatusSchema::singleReply(word);
    if (!reply)
        return 0;
    int size = 3 + 2; // header and CRC
    for (const char *key : reply->keys)
        size += StatusSchema::find(QLatin1String(key))->width;
    return size;
}

bool isReadReplyWord(quint16 word)
{
    return word == WordPidParam || requiredFrameSize(word) != 0;
}

bool parseAllStatus(DevStatusCache &c, const QByteArray &f)
{
    if (f.size() < AllStatusFrameSize)
        return false;
    StatusSchema::decode(c, f.mid(3));
    c.reportedFields = DevField::All;
    return true;
}

bool applyReadReply(DevStatusCache &c, quint16 word, const QByteArray &f)
{
    const int need = requiredFrameSize(word);
    if (need == 0 || f.size() < need)
        return false;
    if (word == WordAllStatus)
        return parseAllStatus(c, f);
    int at = 3;
    for (const char *key : StatusSchema::singleReply(word)->keys) {
        const StatusSchema::Field &field = *StatusSchema::find(QLatin1String(key));
        StatusSchema::decodeField(c, field, f, at);
        c.reportedFields |= field.display.bit;
        at += field.width;
    }
    return true;
}

QVector<quint32> decodePidReply(const QByteArray &f)
{
    QVector<quint32> values(16, 0);
    auto byteAt = [&f](int i) -> quint32 { return i < f.size() ? quint8(f.at(i)) : 0; };
    for (int k = 0; k < 5; ++k) {
        const int at = 3 + 4 * k;
        values[k] = (byteAt(at) << 24) | (byteAt(at + 1) << 16) | (byteAt(at + 2) << 8) | byteAt(at + 3);
    }
    return values;
}

void decodeAlarmBits(DevStatusCache &c)
{
    c.tempAlarm = c.alarmBits & StatusSchema::AlarmTemperature;
    c.fan1Alarm = c.alarmBits & StatusSchema::AlarmFan1;
    c.fan2Alarm = c.alarmBits & StatusSchema::AlarmFan2;
    c.fan3Alarm = c.alarmBits & StatusSchema::AlarmFan3;
}

void decodeLaserState(DevStatusCache &c)
{
    c.ldOn = c.ldStatBits & 0x01;
}

} // namespace StatusDecoder
