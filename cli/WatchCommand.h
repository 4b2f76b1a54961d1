#ifndef KORVEX_WATCHCOMMAND_H
#define KORVEX_WATCHCOMMAND_H

#include "SampleHub.h"
#include "UnitPoller.h"
#include "WatchOutput.h"
#include "WatchSummary.h"

#include <QString>

#include <memory>
#include <vector>

class DeviceSession;

// The sample loop of `korvexctl watch`: one unit or a rack of them, each
// polled by its own UnitPoller at a fixed rate until a count, a duration or
// Ctrl-C, every sample handed to the outputs by one SampleHub. Units wait
// for no other: a unit lost, slow or silent delays no other unit's samples.
//
// A port that goes away (adapter pulled, device power-cycled) is waited for:
// every interval still gets its row (a lost one), the path is looked at
// every interval and opened again with a back-off from the interval up to
// MaxReopenBackOffMs while opening fails.
//
// An output that cannot be written ends the watch (Failed): a recording a
// script relies on never stops quietly.
class WatchCommand
{
public:
    struct Settings {
        int intervalMs = 500;
        qint64 count = 0;       // polls of each unit; 0: no limit
        qint64 durationMs = 0;  // 0: no limit
        bool exitOnPortLoss = false; // the old way: a vanished port ends the watch with NoReply
    };

    static constexpr int MaxReopenBackOffMs = 4000;

    explicit WatchCommand(const Settings &settings);
    ~WatchCommand();

    // A unit to watch, its port open or waited for; the session outlives
    // the watch. Its poller, for outputs that ask after the unit.
    UnitPoller *addUnit(DeviceSession &session, int retries);

    // port: only that unit's samples; empty: every unit's.
    void addOutput(std::unique_ptr<WatchOutput> output, const QString &port = QString());
    SampleHub &hub() { return sampleHub; }

    // Runs to the end; returns the ExitCode value: Done, Aborted (Ctrl-C
    // before a given count or duration was reached), NoReply (a unit gave no
    // valid reply in any poll, or a port went away with exitOnPortLoss) or
    // Failed (an output could not be written). errorText() says why for the
    // last three. summaryLines(): what each unit's watch saw.
    int run();

    qint64 samples() const;
    qint64 lostSamples() const;
    QString errorText() const { return error; }
    QStringList summaryLines() const;
    // A watch of a given count in which every poll was answered and no
    // alarm came: its rows already say all, the summary is left out.
    bool nothingToSum() const;

private:
    struct Unit
    {
        std::unique_ptr<UnitPoller> poller;
        WatchSummary summary;
        bool openAtStart = false;
    };
    Unit *unitOf(const QString &port);
    bool allFinished() const;
    // Stops the polls and waits for the exchanges on the line to end.
    void stopPolls();

    Settings watchSettings;
    SampleHub sampleHub;
    std::vector<std::unique_ptr<Unit>> units;
    bool failed = false;
    bool portLost = false;
    QString error;
};

#endif
