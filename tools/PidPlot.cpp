#include "PidPlot.h"

#include <QDateTime>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

namespace {

// Smallest and largest y of a line, or the given defaults when it is empty.
void yRange(const QLineSeries *line, double *low, double *high)
{
    const QVector<QPointF> points = line->pointsVector();
    if (points.isEmpty()) {
        *low = 0;
        *high = 1;
        return;
    }
    *low = *high = points.first().y();
    for (const QPointF &p : points) {
        *low = qMin(*low, p.y());
        *high = qMax(*high, p.y());
    }
    const double pad = qMax((*high - *low) * 0.1, 1.0);
    *low -= pad;
    *high += pad;
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

    timeAxis = new QDateTimeAxis;
    timeAxis->setFormat(QStringLiteral("mm:ss"));
    timeAxis->setTickCount(4);
    tempAxis = new QValueAxis;
    tempAxis->setLabelFormat(QStringLiteral("%d"));
    tempAxis->setTitleText(tr("温度"));
    pwmAxis = new QValueAxis;
    pwmAxis->setLabelFormat(QStringLiteral("%d"));
    pwmAxis->setTitleText(tr("PWM"));
    chart->addAxis(timeAxis, Qt::AlignBottom);
    chart->addAxis(tempAxis, Qt::AlignLeft);
    chart->addAxis(pwmAxis, Qt::AlignRight);

    tempLine = new QLineSeries;
    tempLine->setName(tr("温度"));
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

void PidPlot::addSample(qint64 msecs, qint32 temperature, quint32 pwm)
{
    tempLine->append(double(msecs), double(temperature));
    pwmLineSeries->append(double(msecs), double(pwm));
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
    rescale(qMax(msecs, tempLine->count() ? qint64(tempLine->at(tempLine->count() - 1).x()) : msecs));
}

void PidPlot::dropOld(qint64 now)
{
    const double oldest = double(now - WindowMs);
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
    qint64 from = now - WindowMs;
    if (tempLine->count() > 0)
        from = qMax(from, qint64(tempLine->at(0).x()));
    if (!resets.isEmpty())
        from = qMin(from, resets.first());
    from = qMin(from, now - 10 * 1000);
    timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(now));
    double low, high;
    yRange(tempLine, &low, &high);
    tempAxis->setRange(low, high);
    double pwmLow, pwmHigh;
    yRange(pwmLineSeries, &pwmLow, &pwmHigh);
    pwmAxis->setRange(pwmLow, pwmHigh);
    for (int i = 0; i < resetLines.size(); ++i) {
        const double x = double(resets[i]);
        resetLines[i]->replace(QVector<QPointF>{QPointF(x, low), QPointF(x, high)});
    }
}
