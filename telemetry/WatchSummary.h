#ifndef KORVEX_WATCHSUMMARY_H
#define KORVEX_WATCHSUMMARY_H

#include "PolledSample.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

// What a watch saw of one unit, for the line it ends with: samples, lost
// polls, the longest run of lost polls (from its first lost poll to the next
// answer, or to the last poll), and each alarm the unit reported, with how
// often it came and how long it lasted in all (from the reply that showed it
// to the next one, answered or lost, that did not).
class WatchSummary
{
public:
    void add(const PolledSample &sample);

    qint64 samples() const { return answered; }
    qint64 lost() const { return lostPolls; }
    qint64 longestGapMs() const { return longestGap; }
    qint64 longestGapPolls() const { return longestGapCount; }
    // Alarm names as in the status record ("fan2"), seen at least once.
    QStringList alarmsSeen() const { return alarms.keys(); }
    qint64 alarmMs(const QString &name) const;
    int alarmTimes(const QString &name) const;

    // "120 samples, 3 lost, longest gap 1.5 s (3 lost polls from 14:02:11.123),
    //  alarms: fan2 12.0 s (1 time)" or "..., no gap, no alarm"
    QString text() const;

private:
    struct Alarm
    {
        qint64 totalMs = 0;
        int times = 0;
        QDateTime since; // set while it lasts
    };
    void endRun(const QDateTime &until);

    qint64 answered = 0;
    qint64 lostPolls = 0;
    QDateTime lastTime;
    QDateTime runStart; // first lost poll of the run in progress
    qint64 runCount = 0;
    qint64 longestGap = 0;
    qint64 longestGapCount = 0;
    QDateTime longestGapStart;
    QMap<QString, Alarm> alarms;
};

#endif
