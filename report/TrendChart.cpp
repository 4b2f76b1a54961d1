#include "TrendChart.h"

#include "ReportTicks.h"
#include "TrendLines.h"
#include "TrendReduce.h"
#include "TrendStore.h"

#include <QDateTime>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace TrendChart {

namespace {

// The smallest value span of each plot, so that a flat line still gets an
// axis with distinct marks: 1 ℃, 0.1 A, 100 rpm.
const double MinSpan[] = {1.0, 0.1, 100.0};

QFont chartFont(qreal points)
{
    QFont font(QStringLiteral("WenQuanYi Zen Hei"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

struct Frame
{
    QRectF plot;
    qint64 from;
    qint64 to;
    ReportTicks::Scale scale;

    QPointF at(double msecs, double value) const
    {
        const double x = plot.left() + (msecs - double(from)) / double(qMax<qint64>(1, to - from)) * plot.width();
        const double y = plot.bottom() - (value - scale.low) / (scale.high - scale.low) * plot.height();
        return {x, y};
    }
};

void drawPlot(QPainter &p, const QRectF &box, qreal unit, int plot, const TrendStore &store, qint64 from, qint64 to,
              bool timeLabels)
{
    const QFont small = chartFont(6.5);
    const QFontMetricsF metrics(small, p.device());
    const qreal legendHeight = metrics.height() * 1.4;
    const qreal axisWidth = metrics.horizontalAdvance(QStringLiteral("-0000.0")) + unit * 2;
    // Below the plot: the alarm band, then the time labels.
    const qreal bandHeight = unit * 1.6;
    const qreal timeHeight = bandHeight + (timeLabels ? metrics.height() * 1.3 : unit);
    Frame f;
    f.plot = QRectF(box.left() + axisWidth, box.top() + legendHeight, box.width() - axisWidth - unit,
                    box.height() - legendHeight - timeHeight);
    f.from = from;
    f.to = to;
    const int columns = qMax(50, int(f.plot.width() / unit * 2)); // two points a millimetre

    // The lines of this plot, and the value range they need.
    QVector<QPair<const TrendLines::Line *, QVector<TrendReduce::Segment>>> lines;
    double low = 0, high = 1;
    bool any = false;
    for (const TrendLines::Line &line : TrendLines::all()) {
        if (line.plot != plot)
            continue;
        const auto segments = TrendReduce::segments(store, line.channel, from, to, columns);
        double l, h;
        if (TrendReduce::yRange(segments, &l, &h)) {
            low = any ? qMin(low, l) : l;
            high = any ? qMax(high, h) : h;
            any = true;
        }
        lines.append({&line, segments});
    }
    if (plot != TrendLines::PlotTemp && low >= 0)
        low = 0;
    f.scale = ReportTicks::values(low, high, MinSpan[plot], 4);

    p.save();
    p.setFont(small);
    // Legend: a stroke of each line's pen and its name.
    qreal x = f.plot.left();
    p.setPen(Qt::black);
    p.drawText(QRectF(box.left(), box.top(), axisWidth - unit, legendHeight), Qt::AlignLeft | Qt::AlignVCenter,
               TrendLines::plotTitle(plot));
    for (const auto &entry : lines) {
        QPen pen(entry.first->color, unit * 0.4, entry.first->style);
        p.setPen(pen);
        const qreal mid = box.top() + legendHeight / 2;
        p.drawLine(QPointF(x, mid), QPointF(x + unit * 6, mid));
        p.setPen(Qt::black);
        const QString label = TrendLines::name(*entry.first);
        p.drawText(QPointF(x + unit * 7, mid + metrics.ascent() / 2 - unit * 0.2), label);
        x += unit * 9 + metrics.horizontalAdvance(label);
    }

    // The alarm's entry: a block of the band's colour.
    if (TrendLines::alarmMask(plot)) {
        const qreal mid = box.top() + legendHeight / 2;
        p.fillRect(QRectF(x, mid - unit * 0.8, unit * 6, unit * 1.6), QColor(0xe0, 0x30, 0x30));
        p.setPen(Qt::black);
        p.drawText(QPointF(x + unit * 7, mid + metrics.ascent() / 2 - unit * 0.2), TrendLines::alarmName(plot));
    }

    // Grid and value marks.
    p.setPen(QPen(QColor(0xdd, 0xdd, 0xdd), unit * 0.15));
    const int decimals = TrendLines::decimals(plot) > 0 && f.scale.step < 1 ? (f.scale.step < 0.1 ? 2 : 1) : 0;
    for (double v = f.scale.low; v <= f.scale.high + f.scale.step / 2; v += f.scale.step) {
        const qreal yy = f.at(double(from), v).y();
        p.setPen(QPen(QColor(0xdd, 0xdd, 0xdd), unit * 0.15));
        p.drawLine(QPointF(f.plot.left(), yy), QPointF(f.plot.right(), yy));
        p.setPen(Qt::black);
        p.drawText(QRectF(box.left(), yy - metrics.height() / 2, axisWidth - unit, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', decimals));
    }
    const QVector<qint64> marks = ReportTicks::times(from, to, 6);
    const bool withSeconds = marks.size() > 1 && (marks[1] - marks[0]) < 60000;
    for (qint64 t : marks) {
        const qreal xx = f.at(double(t), f.scale.low).x();
        p.setPen(QPen(QColor(0xdd, 0xdd, 0xdd), unit * 0.15));
        p.drawLine(QPointF(xx, f.plot.top()), QPointF(xx, f.plot.bottom()));
        if (timeLabels) {
            p.setPen(Qt::black);
            const QString text = QDateTime::fromMSecsSinceEpoch(t).toString(
                withSeconds ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
            p.drawText(QRectF(xx - unit * 10, f.plot.bottom() + bandHeight + unit * 0.3, unit * 20, metrics.height()),
                       Qt::AlignHCenter | Qt::AlignTop, text);
        }
    }

    // Alarm spans: a band along the time axis, under the plot, however long
    // the span: the lines stay readable through an alarm.
    const quint8 mask = TrendLines::alarmMask(plot);
    if (mask) {
        const qint64 pixelMs = qMax<qint64>(1, (to - from) / columns);
        for (const auto &span : TrendReduce::alarmSpans(store, mask, from, to, pixelMs)) {
            const qreal left = f.at(double(qMax(from, span.first)), 0).x();
            const qreal right = f.at(double(qMin(to, qMax(span.second, span.first + pixelMs))), 0).x();
            p.fillRect(QRectF(left, f.plot.bottom() + unit * 0.3, qMax(unit * 0.3, right - left), bandHeight - unit * 0.3),
                       QColor(0xe0, 0x30, 0x30));
        }
    }

    p.setPen(QPen(QColor(0x60, 0x60, 0x60), unit * 0.2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(f.plot);

    // The lines over the frame (a stopped fan lies on it), clipped to a
    // little more than the plot.
    p.setClipRect(f.plot.adjusted(-unit, -unit, unit, unit));
    for (const auto &entry : lines) {
        p.setPen(QPen(entry.first->color, unit * 0.3, entry.first->style, Qt::FlatCap, Qt::RoundJoin));
        for (const TrendReduce::Segment &segment : entry.second) {
            QPolygonF points;
            points.reserve(segment.size());
            for (const QPointF &point : segment)
                points << f.at(point.x(), point.y());
            p.drawPolyline(points);
        }
    }
    p.setClipping(false);
    p.restore();
}

} // namespace

void span(const TrendStore &store, qint64 lastMs, qint64 *from, qint64 *to)
{
    if (store.isEmpty()) {
        *to = QDateTime::currentMSecsSinceEpoch();
        *from = *to - 60000;
        return;
    }
    *to = store.newest().msecs;
    *from = store.at(0).msecs;
    if (lastMs > 0 && *to - *from > lastMs)
        *from = *to - lastMs;
    if (*to - *from < 1000)
        *from = *to - 1000;
}

void paint(QPainter &painter, const QRectF &area, qreal unit, const TrendStore &store, qint64 from, qint64 to)
{
    const qreal gap = unit * 2;
    const qreal h = (area.height() - 2 * gap) / TrendLines::PlotCount;
    for (int plot = 0; plot < TrendLines::PlotCount; ++plot)
        drawPlot(painter, QRectF(area.left(), area.top() + plot * (h + gap), area.width(), h), unit, plot, store,
                 from, to, plot == TrendLines::PlotCount - 1);
}

} // namespace TrendChart
