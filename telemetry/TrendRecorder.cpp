#include "TrendRecorder.h"

#include "StatusRecord.h"

#include <QCoreApplication>

bool TrendRecorder::start(const QString &target, QString *error)
{
    stop();
    path = target;
    rowCount = 0;
    file.setFileName(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = file.errorString();
        return false;
    }
    return writeLine(StatusRecord::csvLine(StatusRecord::csvHeader()), error);
}

void TrendRecorder::stop()
{
    if (file.isOpen())
        file.close();
}

bool TrendRecorder::writeSample(const QDateTime &time, const DevStatusCache &cache, QString *error)
{
    if (!writeLine(StatusRecord::csvLine(StatusRecord::csvValues(time, cache)), error))
        return false;
    ++rowCount;
    return true;
}

bool TrendRecorder::writeLost(const QDateTime &time, QString *error)
{
    if (!writeLine(StatusRecord::csvLine(StatusRecord::lostCsvValues(time)), error))
        return false;
    ++rowCount;
    return true;
}

bool TrendRecorder::writeLine(const QString &line, QString *error)
{
    if (!file.isOpen()) {
        *error = QCoreApplication::translate("TrendRecorder", "未在记录");
        return false;
    }
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    // Unbuffered to the system at every row: a full disk or a vanished
    // medium shows here, not at the end of a long recording.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        *error = file.errorString();
        file.close();
        return false;
    }
    return true;
}
