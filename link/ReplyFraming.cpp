#include "ReplyFraming.h"

#include "Protocol.h"

namespace ReplyFraming {

Found atKnownLength(const Protocol &codec, const QByteArray &bytes, int knownLength, const Fits &fits)
{
    const int lastStart = qMin(MaxLeadingNoise, bytes.size() - knownLength);
    for (int at = 0; at <= lastStart; ++at) {
        const QByteArray frame = bytes.mid(at, knownLength);
        if (codec.checkFrame(frame) == 0 && fits(frame))
            return {at, knownLength};
    }
    return {};
}

Found judge(const Protocol &codec, const QByteArray &bytes, int knownLength, const Fits &fits)
{
    const Found known = atKnownLength(codec, bytes, knownLength, fits);
    if (known.isValid())
        return known;
    if (codec.checkFrame(bytes) == 0 && fits(bytes))
        return {0, int(bytes.size())};
    return {};
}

} // namespace ReplyFraming
