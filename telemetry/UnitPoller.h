#ifndef KORVEX_UNITPOLLER_H
#define KORVEX_UNITPOLLER_H

#include "LineSettings.h"
#include "PolledSample.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

class PlCommand;
class PollRelay;

// Polls one unit's status at a fixed rate through its command executor and
// turns every poll into one sample (sampled): the decoded reply, or a lost
// one when no valid reply came after the retries or the port is not open.
// Nothing here blocks: the exchange runs on the executor's worker thread and
// its answer comes back as an event, so a rack is N pollers, each with its
// own executor, on one event loop, and a unit that hangs or vanishes delays
// no other.
//
// A poll that overruns its slot (a slow unit) starts the next one at once;
// one exchange at a time is on the line. A port that goes away is looked at
// every interval (a stat) and opened again, with a back-off from the
// interval up to maxReopenBackOffMs while opening fails; meanwhile every
// interval still gives its (lost) sample.
//
// The executor must outlive the poller.
class UnitPoller : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        QString port;                  // the unit's name in its samples
        LineSettings lineSettings; // to open the port again; no name: never
        int intervalMs = 500;
        int retries = 2;               // further attempts at a lost reply within one poll
        qint64 count = 0;              // polls, then finished(); 0: no limit
        int maxReopenBackOffMs = 4000;
    };

    UnitPoller(PlCommand *executor, const Settings &settings, QObject *parent = nullptr);
    ~UnitPoller() override;

    // The first poll follows at once. portOpen: whether the executor's port
    // is open now (when not, it is waited for as a port that went away).
    void start(bool portOpen);
    // No poll after this one; an exchange on the line still gets its sample.
    void stop();
    bool isRunning() const { return running; }
    // An exchange (or an opening) is on its way: its sample is still due.
    bool isBusy() const { return exchangeOut; }

    QString port() const { return pollSettings.port; }
    // The unit's serial number from its last reply (empty before the first).
    QString serial() const { return unitSerial; }
    bool portOpen() const { return isOpen; }
    quint32 consecutiveFailures() const { return failures; }
    qint64 samples() const { return sampleCount; }
    qint64 lostSamples() const { return lostCount; }

    // A status reply made a status: false unless it is a complete all-status
    // reply (a well-formed frame of another kind or length is as good as lost).
    static bool decodeStatus(const QByteArray &reply, DevStatusCache *cache);
    // The shortest interval a poll keeps at a line rate: the status
    // exchange's own time on the line and a few ms for the device to answer.
    static int shortestIntervalMs(int baud);

signals:
    void sampled(const PolledSample &sample);
    void portGone(const QString &port);
    void portBack(const QString &port);
    // The count of polls was reached.
    void finished();

private:
    void tick();
    void ask();
    void answered(quint8 result, const QByteArray &reply, bool portOpenNow, quint32 failureCount);
    void opened(quint8 result);
    // Whether an opening is worth a try now (the port is there, the back-off allows).
    bool mayReopen();
    void complete(const DevStatusCache *status);

    PlCommand *executor;
    PollRelay *relay;
    Settings pollSettings;
    QTimer tickTimer;
    QElapsedTimer clock;
    QDateTime pollTime;
    QString unitSerial;
    qint64 nextSlotMs = 0;
    qint64 nextOpenMs = 0;
    int openBackOffMs = 0;
    int attempts = 0;
    qint64 sampleCount = 0;
    qint64 lostCount = 0;
    quint32 failures = 0;
    bool running = false;
    bool isOpen = false;
    bool exchangeOut = false;
};

#endif
