#ifndef KORVEX_REPLYFRAMING_H
#define KORVEX_REPLYFRAMING_H

#include <QByteArray>

#include <functional>

class Protocol;

// Where the reply lies in the bytes collected after a request. The length of
// a reply is known from its command's row (59 status, 25 PID, 6 write): once
// that many bytes form a frame that the codec passes, that frame is the
// reply, judged at once, and every other byte is line noise (a bus
// turn-around glitch before it, a noisy adapter after it). A reply that does
// not pass at its known length is collected until the line is quiet and the
// whole collection is judged as one frame, so that a longer reply from other
// firmware is still taken.
namespace ReplyFraming {

// Stray bytes a reply may be preceded by and still be found.
constexpr int MaxLeadingNoise = 4;

// Whether a well-formed frame answers the request at all (a write is
// answered by its 6-byte reply, never by a late read reply).
using Fits = std::function<bool(const QByteArray &frame)>;

struct Found
{
    int at = -1;     // first byte of the reply; -1 none
    int length = 0;
    bool isValid() const { return at >= 0; }
    QByteArray frame(const QByteArray &bytes) const { return isValid() ? bytes.mid(at, length) : QByteArray(); }
    // Bytes collected beside the reply.
    int noise(const QByteArray &bytes) const { return isValid() ? bytes.size() - length : 0; }
};

// A frame of exactly knownLength bytes that the codec passes and that fits,
// starting within the first MaxLeadingNoise bytes; the earliest such.
Found atKnownLength(const Protocol &codec, const QByteArray &bytes, int knownLength, const Fits &fits);

// After the line went quiet: at the known length first, otherwise the whole
// collection as one frame.
Found judge(const Protocol &codec, const QByteArray &bytes, int knownLength, const Fits &fits);

} // namespace ReplyFraming

#endif
