#ifndef KORVEX_SAMPLEHUB_H
#define KORVEX_SAMPLEHUB_H

#include "PolledSample.h"
#include "WatchOutput.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class UnitPoller;

// The one place where polled samples leave for their outputs, in the window
// and in `korvexctl watch` alike. Every sample goes to every output that
// takes its unit, in the order the outputs were added. An output that cannot
// be written is finished, let go and reported (outputFailed); the others and
// the polling go on. What a failure means beyond that is the program's call.
//
//   SampleHub hub;
//   hub.addOutput(std::make_unique<CsvWatchOutput>(...), "/dev/ttyUSB0"); // one unit's
//   hub.addOutput(std::move(metrics));                                    // every unit's
//   hub.watch(&poller);                 // or call deliver() with each sample
//   connect(&hub, &SampleHub::sampled, ...); // look on without being an output
class SampleHub : public QObject
{
    Q_OBJECT
public:
    explicit SampleHub(QObject *parent = nullptr);
    // Finishes every output still held.
    ~SampleHub() override;

    // port: only that unit's samples reach the output; empty: every unit's.
    void addOutput(std::unique_ptr<WatchOutput> output, const QString &port = QString());
    int outputCount() const { return int(outputs.size()); }
    // Every sample the poller takes comes here.
    void watch(UnitPoller *poller);
    // Closes and reopens every output's file (log rotation); each that
    // cannot be reopened keeps its old file and is reported by reopenFailed.
    void reopenAll();
    // Finishes every output and lets it go (the end of a watch).
    void finishAll();

    qint64 delivered() const { return deliveredCount; }

public slots:
    void deliver(const PolledSample &sample);

signals:
    // Every sample, after the outputs have had it.
    void sampled(const PolledSample &sample);
    // port: the sample's unit; reason: the output's own words.
    void outputFailed(const QString &port, const QString &reason);
    void reopenFailed(const QString &reason);

private:
    struct Route
    {
        std::unique_ptr<WatchOutput> output;
        QString port; // empty: every unit
    };
    std::vector<Route> outputs;
    qint64 deliveredCount = 0;
};

#endif
