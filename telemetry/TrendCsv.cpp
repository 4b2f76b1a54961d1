#include "TrendCsv.h"

#include "StatusSchema.h"
#include "TrendStore.h"

#include <QDateTime>
#include <QFile>
#include <QTextStream>
#include <QVector>

namespace TrendCsv {

bool read(const QString &path, TrendStore *store, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = file.errorString();
        return false;
    }
    QTextStream in(&file);
    in.setCodec("UTF-8");
    // The recording's columns hold no commas or quotes (numbers, flags,
    // times, the serial number): a plain split reads them.
    const QStringList header = in.readLine().split(QLatin1Char(','));
    const int timeColumn = header.indexOf(QStringLiteral("time"));
    if (timeColumn < 0) {
        *error = QStringLiteral("%1: no time column").arg(path);
        return false;
    }
    struct Column {
        int index;
        int channel;    // -1 for an alarm
        quint8 alarmBit;
    };
    QVector<Column> columns;
    const QVector<StatusSchema::Field> &fields = StatusSchema::fields();
    for (const StatusSchema::Field &f : fields) {
        const int at = header.indexOf(QLatin1String(f.key));
        if (at < 0)
            continue;
        if (f.trend >= 0)
            columns.append({at, f.trend, 0});
        else if (f.kind == StatusSchema::Kind::Flag && f.json && QByteArray(f.json).startsWith("alarms.")) {
            // The flag's bit in the device's alarm byte, as the trend keeps it.
            DevStatusCache probe;
            for (quint8 bit = 1; bit; bit <<= 1) {
                probe.alarmBits = bit;
                if (StatusSchema::raw(f, probe)) {
                    columns.append({at, -1, bit});
                    break;
                }
            }
        }
    }
    while (!in.atEnd()) {
        const QStringList cells = in.readLine().split(QLatin1Char(','));
        if (cells.size() <= timeColumn)
            continue;
        const QDateTime time = QDateTime::fromString(cells[timeColumn], Qt::ISODateWithMs);
        if (!time.isValid())
            continue;
        const qint64 ms = time.toMSecsSinceEpoch();
        TrendSample sample;
        sample.msecs = ms;
        bool any = false;
        for (const Column &c : columns) {
            if (c.index >= cells.size() || cells[c.index].isEmpty())
                continue;
            any = true;
            if (c.channel >= 0)
                sample.values[c.channel] = cells[c.index].toFloat();
            else if (cells[c.index] == QLatin1String("true") || cells[c.index] == QLatin1String("1"))
                sample.alarms |= c.alarmBit;
        }
        if (any) {
            sample.valid = true;
            store->append(sample);
        } else {
            store->appendGap(ms);
        }
    }
    return true;
}

} // namespace TrendCsv
