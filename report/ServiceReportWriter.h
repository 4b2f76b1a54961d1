#ifndef KORVEX_SERVICEREPORTWRITER_H
#define KORVEX_SERVICEREPORTWRITER_H

#include <QDateTime>
#include <QPageSize>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

class TrendStore;

// What a technician hands over after a visit, as gathered by the main window:
// the unit, its status and settings as read at export, the session's events,
// the trend, who did the work and what they noted.
struct ServiceReportContent
{
    using Rows = QVector<QPair<QString, QString>>;
    Rows unit;     // serial number, laser type, firmware, run and compensation time
    Rows status;   // the data display as read at export
    Rows settings; // threshold, maximum DAC, PID coefficients
    QStringList eventHeader;
    QVector<QStringList> events;
    const TrendStore *trend = nullptr;
    qint64 chartFrom = 0;
    qint64 chartTo = 0;
    QString technician;
    QString notes;
    QDateTime created;
    QString version;
    QPageSize::PageSizeId pageSize = QPageSize::A4;
};

namespace ServiceReportWriter {

// One PDF/A-1b file; false with *error set when it cannot be written.
bool write(const QString &path, const ServiceReportContent &content, QString *error);

} // namespace ServiceReportWriter

#endif
