#ifndef KORVEX_TESTS_FAULTLOG_H
#define KORVEX_TESTS_FAULTLOG_H

// Reads the per-request fault log that korvex-sim writes with --fault-log:
// one line per received request, "<frame hex> <fate>", the fate being
// "clean" or the faults applied to the reply, comma separated.

#include <QByteArray>
#include <QFile>
#include <QList>

struct FaultRecord
{
    QByteArray request;       // the frame as received
    QList<QByteArray> faults; // empty for a clean reply

    bool has(const char *fault) const { return faults.contains(QByteArray(fault)); }
    // The reply never reached the line whole and unchanged.
    bool replyLost() const { return has("drop") || has("silent") || has("noreply") || has("corrupt"); }
    bool clean() const { return faults.isEmpty(); }
};

inline QList<FaultRecord> readFaultLog(const QString &path)
{
    QList<FaultRecord> records;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return records;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() != 2)
            continue;
        FaultRecord r;
        r.request = QByteArray::fromHex(parts[0]);
        if (parts[1] != "clean")
            r.faults = parts[1].split(',');
        records.append(r);
    }
    return records;
}

#endif
