#ifndef KORVEX_TESTS_CPUCLOCK_H
#define KORVEX_TESTS_CPUCLOCK_H

// CPU time spent by this process (all threads) or by another process, in
// milliseconds, to tell an idle wait from a busy loop.

#include <QByteArray>
#include <QFile>
#include <QList>

#include <ctime>
#include <unistd.h>

inline qint64 processCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// utime + stime of another process from /proc/<pid>/stat; -1 when gone.
inline qint64 otherProcessCpuMs(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const qint64 ticks = fields[11].toLongLong() + fields[12].toLongLong();
    return ticks * 1000 / sysconf(_SC_CLK_TCK);
}

#endif
