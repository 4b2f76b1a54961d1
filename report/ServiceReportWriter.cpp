#include "ServiceReportWriter.h"

#include "ReportDocument.h"
#include "TrendChart.h"

#include <QCoreApplication>
#include <QPainter>

namespace ServiceReportWriter {

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("ServiceReportWriter", text);
}
} // namespace

bool write(const QString &path, const ServiceReportContent &c, QString *error)
{
    ReportDocument doc(path, c.pageSize);
    const QString date = c.created.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    if (!doc.begin(tr("Korvex 服务报告"), tr("Korvex %1 · 服务报告 · %2").arg(c.version, date), error))
        return false;
    const QString serial = c.unit.isEmpty() ? QString() : c.unit.first().second;
    doc.title(tr("服务报告"), tr("设备 %1 · %2 · 技术员 %3").arg(serial, date, c.technician));

    doc.heading(tr("设备"));
    doc.fields(c.unit);
    doc.heading(tr("导出时的状态"));
    doc.fields(c.status, 2);
    doc.heading(tr("设置（读自设备）"));
    doc.fields(c.settings, 2);

    if (c.trend) {
        // The rest of this page when it holds a readable chart, else most of the next.
        const qreal left = doc.remainingMm() - 12;
        const qreal chartMm = left >= 80 ? qMin<qreal>(left, 140) : 130;
        doc.heading(tr("趋势"), chartMm);
        const QRectF room = doc.reserve(chartMm);
        TrendChart::paint(*doc.painter(), room, doc.mm(1), *c.trend, c.chartFrom, c.chartTo);
    }

    doc.heading(tr("本次连接的事件与报警"));
    if (c.events.isEmpty())
        doc.paragraph(tr("没有事件。"));
    else
        doc.table(c.eventHeader, c.events, {2.2, 1.3, 4, 2.2, 1.2});

    doc.heading(tr("技术员与备注"));
    doc.fields({{tr("技术员"), c.technician}, {tr("日期"), date}, {tr("Korvex 版本"), c.version}});
    doc.paragraph(c.notes.isEmpty() ? tr("（无备注）") : c.notes);
    return doc.end(error);
}

} // namespace ServiceReportWriter
