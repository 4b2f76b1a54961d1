#ifndef KORVEX_DEVICESESSION_H
#define KORVEX_DEVICESESSION_H

#include "DevStatusCache.h"
#include "LineOptions.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>

class PlCommand;

// One command-line session with the device: the window's command executor
// (PlCommand, on its worker thread) driven synchronously. Every outcome comes
// from the device's reply: a lost or unusable reply is asked for again
// `retries` times and then reported, never taken for success.
//
// Each call returns an ExitCode value; on failure errorText() says why in
// one line. After SIGINT or SIGTERM no call sends another frame: it returns
// ExitCode::Aborted (a frame already on the line gets its reply first).
class DeviceSession
{
public:
    explicit DeviceSession(const LineOptions &line);
    ~DeviceSession();

    DeviceSession(const DeviceSession &) = delete;
    DeviceSession &operator=(const DeviceSession &) = delete;

    // Opens the first --port with the line settings.
    int open();

    // Runs one write slot of the executor, e.g.
    //   session.write([](PlCommand &c) { return c.setPowerPercent(500); });
    int write(const std::function<quint8(PlCommand &)> &command);

    // The all-status query; the cache is filled from one complete reply.
    int readStatus(DevStatusCache &cache);
    // The PID query: status elements 0..4 (temperature, output, KP, KI, KD).
    int readPid(QVector<quint32> &values);

    // Off: frames go on after SIGINT and SIGTERM too. A production test
    // stops on a signal by its own rules and must still switch the unit's
    // laser off.
    void setStopsOnSignal(bool stops) { stopsOnSignal = stops; }

    // Whether the port is still open (a vanished device closes it).
    bool isOpen();

    QString errorText() const { return error; }
    // The port's name as given (a stable link stays a link).
    QString portName() const { return lineOptions.port(); }
    // The executor's count of consecutive failed exchanges (0 after a good one).
    quint32 consecutiveFailures() const { return failures; }
    // Stray bytes the line carried beside the replies so far (noise, never
    // a failure).
    quint64 lineNoiseBytes() const;
    // For a poller that drives the executor itself (korvexctl watch): the
    // executor, on its worker thread, and the settings its port opens with.
    PlCommand *executor() const { return plCommand; }
    LineSettings lineSettings() const { return lineOptions.lineSettings(lineOptions.port()); }

private:
    quint8 runOnWorker(const std::function<quint8(PlCommand &)> &command);
    // Makes one attempt, then more while the result is not final, up to the
    // retries asked for; Done, Aborted or the failure's exit code.
    int withRetries(const std::function<quint8()> &attempt, const std::function<bool(quint8)> &isFinal);
    int readReply(const std::function<quint8(PlCommand &)> &query,
                  const std::function<bool(const QByteArray &)> &accept);
    int failureFor(quint8 result, int attempts);
    // -v: says that attempt number `attempt` follows a failed one.
    void traceRetry(int attempt, quint8 lastResult);
    // A SIGINT or SIGTERM arrived: no further frame is sent (ExitCode::Aborted).
    bool stopped();

    LineOptions lineOptions;
    PlCommand *plCommand = nullptr;
    QByteArray lastReply;      // written on the worker thread during a blocking call
    std::atomic<quint32> failures{0}; // written on the worker thread at every exchange
    QString error;
    bool stopsOnSignal = true;
};

#endif
