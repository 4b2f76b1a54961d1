#ifndef KORVEX_SIMFAULTS_H
#define KORVEX_SIMFAULTS_H

#include <QByteArray>
#include <QList>

#include <random>

// Decides, reply by reply, how the simulated device misbehaves on the line.
// All random choices come from one generator seeded at start, so a run with
// the same seed and the same requests misbehaves the same way.
class SimFaults
{
public:
    struct Settings {
        double dropShare = 0;      // replies not sent at all
        double corruptShare = 0;   // replies with one byte flipped
        double trailingShare = 0;  // replies followed by extra bytes
        double splitShare = 0;     // replies sent in pieces
        int splitPauseMs = 20;
        int delayMs = 0;           // extra wait before a reply
        double delayShare = 1.0;   // share of replies that wait
        qint64 silentAfter = -1;   // requests answered before going silent; -1 never
        quint32 seed = 1;
    };

    // One piece of a reply and the pause before it.
    struct Chunk {
        int pauseMs = 0;
        QByteArray bytes;
    };

    SimFaults();
    explicit SimFaults(const Settings &settings);

    // The way a reply goes out: no chunks means nothing is sent. Called once
    // per received request, in order.
    QList<Chunk> plan(const QByteArray &reply);

    // What plan() decided for the last reply: "clean", or the faults applied,
    // comma separated (silent, drop, corrupt, trailing, split, delay).
    QByteArray lastFate() const { return lastReplyFate; }

private:
    bool chance(double share);
    int pick(int lo, int hi);

    Settings faultSettings;
    std::mt19937 rng;
    qint64 requests = 0;
    QByteArray lastReplyFate;
};

#endif
