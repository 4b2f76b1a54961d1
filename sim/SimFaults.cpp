#include "SimFaults.h"

SimFaults::SimFaults() : SimFaults(Settings()) {}

SimFaults::SimFaults(const Settings &settings) : faultSettings(settings), rng(settings.seed) {}

bool SimFaults::chance(double share)
{
    // Always draw, so that one fault's share does not shift another's choices.
    const double r = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
    return r < share;
}

int SimFaults::pick(int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

QList<SimFaults::Chunk> SimFaults::plan(const QByteArray &reply)
{
    ++requests;
    const bool silent = faultSettings.silentAfter >= 0 && requests > faultSettings.silentAfter;
    const bool drop = chance(faultSettings.dropShare);
    const bool corrupt = chance(faultSettings.corruptShare);
    const bool trailing = chance(faultSettings.trailingShare);
    const bool split = chance(faultSettings.splitShare);
    const bool delay = faultSettings.delayMs > 0 && chance(faultSettings.delayShare);
    QList<QByteArray> fate;
    if (silent)
        fate << "silent";
    if (drop)
        fate << "drop";
    if (silent || drop || reply.isEmpty()) {
        lastReplyFate = fate.isEmpty() ? QByteArray("noreply") : fate.join(',');
        return {};
    }
    if (corrupt)
        fate << "corrupt";
    if (trailing)
        fate << "trailing";
    if (split && reply.size() > 1)
        fate << "split";
    if (delay)
        fate << "delay";
    lastReplyFate = fate.isEmpty() ? QByteArray("clean") : fate.join(',');

    QByteArray bytes = reply;
    if (corrupt) {
        // Flip at least one bit, so the byte really differs.
        const int at = pick(0, bytes.size() - 1);
        bytes[at] = char(quint8(bytes[at]) ^ quint8(pick(1, 255)));
    }
    if (trailing) {
        const int extra = pick(1, 4);
        for (int i = 0; i < extra; ++i)
            bytes.append(char(pick(0, 255)));
    }

    QList<Chunk> chunks;
    const int firstPause = delay ? faultSettings.delayMs : 0;
    if (split && bytes.size() > 1) {
        const int cut = pick(1, bytes.size() - 1);
        chunks.append({firstPause, bytes.left(cut)});
        chunks.append({faultSettings.splitPauseMs, bytes.mid(cut)});
    } else {
        chunks.append({firstPause, bytes});
    }
    return chunks;
}
