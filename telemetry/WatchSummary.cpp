#include "WatchSummary.h"

#include "StatusRecord.h"

#include <QJsonObject>

namespace {

QString seconds(qint64 ms)
{
    return QStringLiteral("%1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
}

} // namespace

void WatchSummary::endRun(const QDateTime &until)
{
    if (runCount == 0)
        return;
    const qint64 gap = runStart.msecsTo(until);
    if (runCount > longestGapCount || (runCount == longestGapCount && gap > longestGap)) {
        longestGap = gap;
        longestGapCount = runCount;
        longestGapStart = runStart;
    }
    runCount = 0;
}

void WatchSummary::add(const PolledSample &sample)
{
    // The alarms shown by the last reply last until this poll, whatever it says.
    QJsonObject shown;
    if (sample.answered)
        shown = StatusRecord::statusJson(sample.status).value(QStringLiteral("alarms")).toObject();
    for (auto it = alarms.begin(); it != alarms.end(); ++it) {
        Alarm &a = it.value();
        if (a.since.isValid() && !shown.value(it.key()).toBool()) {
            a.totalMs += a.since.msecsTo(sample.time);
            a.since = QDateTime();
        }
    }
    for (auto it = shown.constBegin(); it != shown.constEnd(); ++it) {
        if (!it.value().toBool())
            continue;
        Alarm &a = alarms[it.key()];
        if (!a.since.isValid()) {
            a.since = sample.time;
            ++a.times;
        }
    }
    if (sample.answered) {
        ++answered;
        endRun(sample.time);
    } else {
        ++lostPolls;
        if (runCount++ == 0)
            runStart = sample.time;
    }
    lastTime = sample.time;
}

qint64 WatchSummary::alarmMs(const QString &name) const
{
    const Alarm a = alarms.value(name);
    return a.totalMs + (a.since.isValid() ? a.since.msecsTo(lastTime) : 0);
}

int WatchSummary::alarmTimes(const QString &name) const
{
    return alarms.value(name).times;
}

QString WatchSummary::text() const
{
    WatchSummary ended = *this;
    ended.endRun(lastTime);
    QString line = QStringLiteral("%1 samples, %2 lost, ").arg(answered).arg(lostPolls);
    if (ended.longestGapCount == 0)
        line += QStringLiteral("no gap");
    else
        line += QStringLiteral("longest gap %1 (%2 lost polls from %3)")
                    .arg(seconds(ended.longestGap))
                    .arg(ended.longestGapCount)
                    .arg(ended.longestGapStart.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")));
    if (alarms.isEmpty())
        return line + QStringLiteral(", no alarm");
    QStringList parts;
    for (const QString &name : alarms.keys()) {
        const int times = alarmTimes(name);
        parts << QStringLiteral("%1 %2 (%3 %4)")
                     .arg(name, seconds(alarmMs(name)))
                     .arg(times)
                     .arg(times == 1 ? QStringLiteral("time") : QStringLiteral("times"));
    }
    return line + QStringLiteral(", alarms: ") + parts.join(QStringLiteral(", "));
}
