#ifndef KORVEX_PIDPLOT_H
#define KORVEX_PIDPLOT_H

#include <QVector>
#include <QtCharts/QChartView>

namespace QtCharts {
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
}

// The PID window's plot: the PID samples' temperature value (left axis) and
// PWM value (right axis) over the last minutes, with a dashed mark where the
// spread trackers were reset, so overshoot and settling show at a glance.
class PidPlot : public QtCharts::QChartView
{
    Q_OBJECT
public:
    static constexpr qint64 WindowMs = 5 * 60 * 1000;

    explicit PidPlot(QWidget *parent = nullptr);

    void addSample(qint64 msecs, qint32 temperature, quint32 pwm);
    void markReset(qint64 msecs);

    QtCharts::QLineSeries *temperatureLine() const { return tempLine; }
    QtCharts::QLineSeries *pwmLine() const { return pwmLineSeries; }
    // Reset marks within the window, oldest first.
    QVector<qint64> resetMarks() const { return resets; }

private:
    void dropOld(qint64 now);
    void rescale(qint64 now);

    QtCharts::QDateTimeAxis *timeAxis;
    QtCharts::QValueAxis *tempAxis;
    QtCharts::QValueAxis *pwmAxis;
    QtCharts::QLineSeries *tempLine;
    QtCharts::QLineSeries *pwmLineSeries;
    QVector<QtCharts::QLineSeries *> resetLines;
    QVector<qint64> resets;
};

#endif
