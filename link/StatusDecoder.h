#ifndef KORVEX_STATUSDECODER_H
#define KORVEX_STATUSDECODER_H

#include "DevStatusCache.h"

#include <QByteArray>
#include <QVector>

// Decoding of the device's read replies into the status cache. A frame is
// address, command word (2 bytes), data, CRC (2 bytes); data start at byte 3.
// A reply too short to hold all the data its command word promises (data plus
// the CRC) is ignored as a whole: the display only ever shows values that
// came in one complete reply.
namespace StatusDecoder {

constexpr quint16 WordAllStatus = 0x00C1;
constexpr quint16 WordPidParam = 0xA111;
// 3 header bytes, 54 data bytes, 2 CRC bytes.
constexpr int AllStatusFrameSize = 59;

// Command word in bytes 1-2, or 0 for a frame shorter than 3 bytes.
quint16 commandWord(const QByteArray &frame);

// Frame size a reply with this word needs, or 0 for words that update nothing.
int requiredFrameSize(quint16 word);

// True for the words of the device's read replies (all-status, PID and the
// single-value replies): such a frame is never the answer to a write.
bool isReadReplyWord(quint16 word);

// Updates the fields the word stands for. Returns true when fields changed;
// false for unknown words, the PID reply and replies that are too short.
bool applyReadReply(DevStatusCache &cache, quint16 word, const QByteArray &frame);

// The all-status reply; false (cache untouched) when shorter than a whole reply.
bool parseAllStatus(DevStatusCache &cache, const QByteArray &frame);

// The PID reply as 16 values: elements 0-4 from frame bytes 3-22 (missing
// bytes read as 0), the rest 0.
QVector<quint32> decodePidReply(const QByteArray &frame);

// Alarm flags from alarmBits, laser flag from ldStatBits.
void decodeAlarmBits(DevStatusCache &cache);
void decodeLaserState(DevStatusCache &cache);

// Big-endian readers; the caller guarantees the bytes exist.
quint16 be16(const QByteArray &bytes, int at);
quint32 be32(const QByteArray &bytes, int at);

} // namespace StatusDecoder

#endif
