#ifndef KORVEX_WATCHCOMMAND_H
#define KORVEX_WATCHCOMMAND_H

#include "DevStatusCache.h"
#include "WatchOutput.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <memory>
#include <vector>

class DeviceSession;

// The sample loop of `korvexctl watch`: polls the device's status at a fixed
// rate until a count, a duration or Ctrl-C, and hands every sample (or lost
// sample) to all its outputs in one place, deliver(). Another kind of output
// joins with addOutput().
//
// A port that goes away (adapter pulled, device power-cycled) is waited for:
// every interval still gets its row (a lost one), the path is looked at
// every interval (a stat) and opened again with a back-off from the interval
// up to MaxReopenBackOffMs while opening fails.
class WatchCommand
{
public:
    struct Settings {
        int intervalMs = 500;
        qint64 count = 0;       // 0: no limit
        qint64 durationMs = 0;  // 0: no limit
        bool exitOnPortLoss = false; // the old way: a vanished port ends the watch with NoReply
    };

    static constexpr int MaxReopenBackOffMs = 4000;

    WatchCommand(DeviceSession &session, const Settings &settings);

    void addOutput(std::unique_ptr<WatchOutput> output);

    // Runs to the end; returns the ExitCode value: Done, Aborted (Ctrl-C
    // before a given count or duration was reached), NoReply (no poll got a
    // valid reply, or the port went away) or Failed (an output could not be
    // written). errorText() says why for the last three.
    int run();

    // Whether the port is open now (false while waiting for it).
    bool portOpen() const { return m_portOpen; }
    qint64 samples() const { return m_samples; }
    qint64 lostSamples() const { return m_lost; }
    QString errorText() const { return m_error; }

private:
    // One poll; false when the watch must stop.
    bool pollOnce();
    // The one place where samples leave: every output gets each, in order.
    bool deliver(const QDateTime &time, const DevStatusCache *cache);
    // Waits (keeping events flowing) until the clock reaches the time or a
    // stop is requested; false on a stop.
    bool waitUntil(qint64 elapsedMs);
    // While the port is gone: opens it again when it is there and the
    // back-off allows; true when it is open.
    bool tryReopen();
    void reopenOutputs();

    DeviceSession &m_session;
    Settings m_settings;
    std::vector<std::unique_ptr<WatchOutput>> m_outputs;
    QElapsedTimer m_clock;
    bool m_portOpen = false;
    qint64 m_nextOpenMs = 0;
    int m_openBackOffMs = 0;
    qint64 m_samples = 0;
    qint64 m_lost = 0;
    bool m_failed = false;
    QString m_error;
};

#endif
