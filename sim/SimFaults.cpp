#include "SimFaults.h"

SimFaults::SimFaults() : SimFaults(Settings()) {}

SimFaults::SimFaults(const Settings &settings) : m_settings(settings), m_rng(settings.seed) {}

bool SimFaults::chance(double share)
{
    // Always draw, so that one fault's share does not shift another's choices.
    const double r = std::uniform_real_distribution<double>(0.0, 1.0)(m_rng);
    return r < share;
}

int SimFaults::pick(int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(m_rng);
}

QList<SimFaults::Chunk> SimFaults::plan(const QByteArray &reply)
{
    ++m_requests;
    const bool silent = m_settings.silentAfter >= 0 && m_requests > m_settings.silentAfter;
    const bool drop = chance(m_settings.dropShare);
    const bool corrupt = chance(m_settings.corruptShare);
    const bool trailing = chance(m_settings.trailingShare);
    const bool split = chance(m_settings.splitShare);
    const bool delay = m_settings.delayMs > 0 && chance(m_settings.delayShare);
    if (silent || drop || reply.isEmpty())
        return {};

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
    const int firstPause = delay ? m_settings.delayMs : 0;
    if (split && bytes.size() > 1) {
        const int cut = pick(1, bytes.size() - 1);
        chunks.append({firstPause, bytes.left(cut)});
        chunks.append({m_settings.splitPauseMs, bytes.mid(cut)});
    } else {
        chunks.append({firstPause, bytes});
    }
    return chunks;
}
