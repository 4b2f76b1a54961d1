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
    // header (3) + data + CRC (2)
    switch (word) {
    case 0x0050: return 3 + 2 + 2;
    case 0x0051: return 3 + 1 + 2;
    case 0x0052: return 3 + 2 + 2;
    case 0x0053: return 3 + 2 + 2;
    case 0x0054: return 3 + 8 + 2;
    case 0x0055: return 3 + 8 + 2;
    case 0x0056: return 3 + 1 + 2;
    case WordAllStatus: return AllStatusFrameSize;
    default: return 0;
    }
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
    switch (word) {
    case 0x0050:
        c.fwMajor = quint8(f.at(3));
        c.fwMinor = quint8(f.at(4));
        c.reportedFields |= DevField::Firmware;
        return true;
    case 0x0051:
        c.ldStatBits = quint8(f.at(3));
        return true;
    case 0x0052:
        c.powerPercent = be16(f, 3);
        c.reportedFields |= DevField::PowerPercent;
        return true;
    case 0x0053:
        c.tempThreshold = qint16(be16(f, 3));
        c.reportedFields |= DevField::TempThreshold;
        return true;
    case 0x0054:
        c.devRxFrames = be32(f, 3);
        c.devTxFrames = be32(f, 7);
        c.reportedFields |= DevField::RxFrames | DevField::TxFrames;
        return true;
    case 0x0055:
        c.serialNum = f.mid(3, 8);
        c.reportedFields |= DevField::SerialNum;
        return true;
    case 0x0056:
        c.alarmBits = quint8(f.at(3));
        return true;
    case WordAllStatus:
        return parseAllStatus(c, f);
    default:
        return false;
    }
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
    c.tempAlarm = c.alarmBits & 0x01;
    c.fan1Alarm = c.alarmBits & 0x02;
    c.fan2Alarm = c.alarmBits & 0x04;
    c.fan3Alarm = c.alarmBits & 0x08;
}

void decodeLaserState(DevStatusCache &c)
{
    c.ldOn = c.ldStatBits & 0x01;
}

} // namespace StatusDecoder
