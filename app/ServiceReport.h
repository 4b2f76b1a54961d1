#ifndef KORVEX_SERVICEREPORT_H
#define KORVEX_SERVICEREPORT_H

#include "DevStatusCache.h"
#include "ServiceReportWriter.h"

#include <QVector>

class EventLog;
class QGridLayout;

// Gathers a service report from what the main window shows: the data
// display's captions and texts as they stand, the settings the device
// reported, the PID coefficients of its last PID reply, the event log and
// the trend samples.
namespace ServiceReport {

struct Typed
{
    QString technician;
    QString notes;
    QPageSize::PageSizeId pageSize = QPageSize::A4;
    bool lastHourOnly = false;
};

// (caption, text) of every field of the data display that the device has
// reported, in the display's order; the captions as the window shows them.
ServiceReportContent::Rows statusRows(const QGridLayout *display, const DevStatusCache &cache);

ServiceReportContent gather(const Typed &typed, const QGridLayout *display, const DevStatusCache &cache,
                            const QVector<quint32> &pidReply, const EventLog &events, const TrendStore &trend);

// "korvex-service-66051-202407090042-20261209-0312.pdf"
QString defaultFileName(const DevStatusCache &cache);

} // namespace ServiceReport

#endif
