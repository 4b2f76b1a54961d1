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
class WatchCommand
{
public:
    struct Settings {
        int intervalMs = 500;
        qint64 count = 0;       // 0: no limit
        qint64 durationMs = 0;  // 0: no limit
    };

    WatchCommand(DeviceSession &session, const Settings &settings);

    void addOutput(std::unique_ptr<WatchOutput> output);

    // Runs to the end; returns the ExitCode value: Done, Aborted (Ctrl-C
    // before a given count or duration was reached), NoReply (no poll got a
    // valid reply, or the port went away) or Failed (an output could not be
    // written). errorText() says why for the last three.
    int run();

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

    DeviceSession &m_session;
    Settings m_settings;
    std::vector<std::unique_ptr<WatchOutput>> m_outputs;
    QElapsedTimer m_clock;
    qint64 m_samples = 0;
    qint64 m_lost = 0;
    bool m_failed = false;
    QString m_error;
};

#endif
