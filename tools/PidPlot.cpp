#include "PidPlot.h"
#include "AxisTicks.h"

#include <QDateTime>

#include <QtCharts/QChart>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

namespace {

// The device reports the PID temperature in tenths of a degree.
constexpr double TenthsPerDegree = 10.0;

// A round scale over a line's values with a little room above and below;
// minSpan keeps a flat line readable.
AxisTicks::Scale yScale(const QLineSeries *line, double minSpan)
{
    const QVector<QPointF> points = line->pointsVector();
    if (points.isEmpty())
        return AxisTicks::niceScale(0, 1, minSpan);
    double low = points.first().y();
    double high = low;
    for (const QPointF &p : points) {
        low = qMin(low, p.y());
        high = qMax(high, p.y());
    }
    const double pad = (high - low) * 0.05;
    return AxisTicks::niceScale(low - pad, high + pad, minSpan);
}

} // namespace

PidPlot::PidPlot(QWidget *parent) : QChartView(parent)
{
    auto *chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(2, 2, 2, 2));
    // The view lets go of the chart it made itself when given another.
    QChart *initial = this->chart();
    setChart(chart);
    delete initial;
    setMinimumSize(380, 260);

    timeAxis = new QValueAxis;
    timeAxis->setTitleText(tr("经过时间 (秒)"));
    tempAxis = new QValueAxis;
    tempAxis->setTitleText(tr("温度 (℃)"));
    pwmAxis = new QValueAxis;
    pwmAxis->setTitleText(tr("PWM"));
    // The gridlines belong to the temperature's labels; PWM ticks stay on its axis.
    pwmAxis->setGridLineVisible(false);
    chart->addAxis(timeAxis, Qt::AlignBottom);
    chart->addAxis(tempAxis, Qt::AlignLeft);
    chart->addAxis(pwmAxis, Qt::AlignRight);

    tempLine = new QLineSeries;
    tempLine->setName(tr("温度 ℃"));
    tempLine->setPen(QPen(QColor(0xd6, 0x27, 0x28), 1.5));
    pwmLineSeries = new QLineSeries;
    pwmLineSeries->setName(tr("PWM"));
    pwmLineSeries->setPen(QPen(QColor(0x1f, 0x77, 0xb4), 1.5));
    chart->addSeries(tempLine);
    chart->addSeries(pwmLineSeries);
    tempLine->attachAxis(timeAxis);
    tempLine->attachAxis(tempAxis);
    pwmLineSeries->attachAxis(timeAxis);
    pwmLineSeries->attachAxis(pwmAxis);
    tempAxis->setLinePenColor(tempLine->pen().color());
    pwmAxis->setLinePenColor(pwmLineSeries->pen().color());
    rescale(QDateTime::currentMSecsSinceEpoch());
}

double PidPlot::secondsAt(qint64 msecs) const
{
    return originMs < 0 ? 0.0 : double(msecs - originMs) / 1000.0;
}

void PidPlot::addSample(qint64 msecs, qint32 temperatureTenths, quint32 pwm)
{
    if (originMs < 0)
        originMs = msecs;
    const double x = secondsAt(msecs);
    tempLine->append(x, temperatureTenths / TenthsPerDegree);
    pwmLineSeries->append(x, double(pwm));
    dropOld(msecs);
    rescale(msecs);
}

void PidPlot::markReset(qint64 msecs)
{
    auto *mark = new QLineSeries;
    mark->setName(tr("重置"));
    QPen pen(QColor(0x40, 0x40, 0x40), 1.0, Qt::DashLine);
    mark->setPen(pen);
    chart()->addSeries(mark);
    mark->attachAxis(timeAxis);
    mark->attachAxis(tempAxis);
    // One legend entry for all marks.
    if (!resetLines.isEmpty()) {
        for (QLegendMarker *m : chart()->legend()->markers(mark))
            m->setVisible(false);
    }
    resetLines.append(mark);
    resets.append(msecs);
    if (originMs < 0)
        originMs = msecs;
    const qint64 newest = tempLine->count() ? originMs + qint64(tempLine->at(tempLine->count() - 1).x() * 1000) : msecs;
    rescale(qMax(msecs, newest));
}

void PidPlot::dropOld(qint64 now)
{
    const double oldest = originMs < 0 ? 0 : double(now - WindowMs - originMs) / 1000.0;
    int stale = 0;
    while (stale < tempLine->count() && tempLine->at(stale).x() < oldest)
        ++stale;
    if (stale > 0) {
        tempLine->removePoints(0, stale);
        pwmLineSeries->removePoints(0, stale);
    }
    while (!resets.isEmpty() && resets.first() < now - WindowMs) {
        chart()->removeSeries(resetLines.first());
        delete resetLines.first();
        resetLines.removeFirst();
        resets.removeFirst();
        // The oldest mark left carries the legend entry.
        if (!resetLines.isEmpty()) {
            for (QLegendMarker *m : chart()->legend()->markers(resetLines.first()))
                m->setVisible(true);
        }
    }
}

void PidPlot::rescale(qint64 now)
{
    // The last five minutes at most; a young trace fills the plot's width.
    const double nowSeconds = secondsAt(now);
    double from = qMax(0.0, nowSeconds - WindowMs / 1000.0);
    if (tempLine->count() > 0)
        from = qMax(from, tempLine->at(0).x());
    if (!resets.isEmpty())
        from = qMin(from, secondsAt(resets.first()));
    // Ticks at round seconds; the ends are where the trace is, ten seconds at least.
    const double to = qMax(nowSeconds, from + 10);
    AxisTicks::Scale time = AxisTicks::niceScale(from, to, 10, 4);
    time.low = from;
    time.high = to;
    AxisTicks::apply(timeAxis, time);
    // A steady temperature still spans a degree, a steady PWM ten steps.
    const AxisTicks::Scale temperature = yScale(tempLine, 1.0);
    AxisTicks::apply(tempAxis, temperature);
    AxisTicks::apply(pwmAxis, yScale(pwmLineSeries, 10.0));
    for (int i = 0; i < resetLines.size(); ++i) {
        const double x = secondsAt(resets[i]);
        resetLines[i]->replace(QVector<QPointF>{QPointF(x, temperature.low), QPointF(x, temperature.high)});
    }
}
