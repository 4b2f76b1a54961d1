#include "ServiceReport.h"

#include "EventLog.h"
#include "StatusFormat.h"
#include "TrendChart.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace ServiceReport {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ServiceReport", text);
}

// The caption left of a field in the data display's grid.
QString captionOf(const QGridLayout *grid, const QWidget *field)
{
    const int index = grid->indexOf(const_cast<QWidget *>(field));
    if (index < 0)
        return field->objectName();
    int row, column, rows, columns;
    grid->getItemPosition(index, &row, &column, &rows, &columns);
    for (int c = column - 1; c >= 0; --c) {
        QLayoutItem *item = grid->itemAtPosition(row, c);
        if (auto *label = item ? qobject_cast<QLabel *>(item->widget()) : nullptr)
            return label->text().trimmed();
    }
    return field->objectName();
}

QString fieldText(const DevStatusCache &cache, const char *object)
{
    for (const auto &field : StatusFormat::shownFieldTexts(cache)) {
        if (field.first == QLatin1String(object))
            return field.second;
    }
    return QString();
}

} // namespace

ServiceReportContent::Rows statusRows(const QGridLayout *display, const DevStatusCache &cache)
{
    ServiceReportContent::Rows rows;
    QWidget *parent = display->parentWidget();
    for (const auto &field : StatusFormat::shownFieldTexts(cache)) {
        auto *edit = parent ? parent->findChild<QLineEdit *>(field.first) : nullptr;
        if (!edit || field.second.isEmpty())
            continue;
        rows.append({captionOf(display, edit), field.second});
    }
    return rows;
}

ServiceReportContent gather(const Typed &typed, const QGridLayout *display, const DevStatusCache &cache,
                            const QVector<quint32> &pidReply, const EventLog &events, const TrendStore &trend)
{
    ServiceReportContent c;
    const QString unknown = tr("未读到");
    auto orUnknown = [&unknown](const QString &text) { return text.isEmpty() ? unknown : text; };
    c.unit = {{tr("设备序列号"), orUnknown(fieldText(cache, "devSerialNum"))},
              {tr("激光类型"), orUnknown(fieldText(cache, "devLdType"))},
              {tr("固件版本"), orUnknown(fieldText(cache, "SoftVersion"))},
              {tr("运行时长"), orUnknown(fieldText(cache, "LdWorkHours"))},
              {tr("自动补偿时长"), orUnknown(fieldText(cache, "StatAutoCompensation"))}};
    c.status = statusRows(display, cache);
    // The device reports its coefficients scaled by 10000 (elements 2-4).
    auto coefficient = [&pidReply, &unknown](int at) {
        return pidReply.size() > at ? QString::number(double(qint32(pidReply[at])) / 10000.0, 'f', 4) : unknown;
    };
    c.settings = {{tr("温度保护阈值"), orUnknown(fieldText(cache, "TempThreshold"))},
                  {tr("最大DAC"), orUnknown(fieldText(cache, "lineEdit_MaxDacShow"))},
                  {QStringLiteral("PID KP"), coefficient(2)},
                  {QStringLiteral("PID KI"), coefficient(3)},
                  {QStringLiteral("PID KD"), coefficient(4)}};
    const QStringList header = EventLog::header();
    // Time, kind, event (with its value), outcome, duration.
    c.eventHeader = QStringList{header[0], header[1], header[2], header[4], header[6]};
    for (const EventLog::Event &e : events.events()) {
        const QStringList cells = EventLog::cells(e);
        const QString what = e.value.isEmpty() ? cells[2] : cells[2] + QStringLiteral(" ") + cells[3];
        c.events.append(QStringList{cells[0], cells[1], what, cells[4], cells[6]});
    }
    c.trend = &trend;
    TrendChart::span(trend, typed.lastHourOnly ? 3600 * 1000 : 0, &c.chartFrom, &c.chartTo);
    c.technician = typed.technician;
    c.notes = typed.notes;
    c.created = QDateTime::currentDateTime();
    c.version = QStringLiteral(KORVEX_VERSION);
    c.pageSize = typed.pageSize;
    return c;
}

QString defaultFileName(const DevStatusCache &cache)
{
    const QString serial = StatusFormat::formatSerialNumber(cache.serialNum);
    return QStringLiteral("korvex-service-%1%2.pdf")
        .arg(serial.isEmpty() ? QString() : serial + QLatin1Char('-'),
             QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmm")));
}

} // namespace ServiceReport
