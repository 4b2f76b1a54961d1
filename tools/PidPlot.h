#ifndef KORVEX_PIDPLOT_H
#define KORVEX_PIDPLOT_H

#include <QVector>
#include <QtCharts/QChartView>

namespace QtCharts {
class QLineSeries;
class QValueAxis;
}

// The PID window's plot: the PID samples' temperature in ℃ (left axis) and
// PWM value (right axis) over the last minutes against the seconds elapsed
// since the first sample, with a dashed mark where the spread trackers were
// reset, so overshoot and settling show at a glance.
class PidPlot : public QtCharts::QChartView
{
    Q_OBJECT
public:
    static constexpr qint64 WindowMs = 5 * 60 * 1000;

    explicit PidPlot(QWidget *parent = nullptr);

    // temperatureTenths as the device reports it, in tenths of a degree.
    void addSample(qint64 msecs, qint32 temperatureTenths, quint32 pwm);
    void markReset(qint64 msecs);

    // Points are (seconds since the first sample or mark, value).

    QtCharts::QLineSeries *temperatureLine() const { return tempLine; }
    QtCharts::QValueAxis *temperatureAxis() const { return tempAxis; }
    QtCharts::QValueAxis *pwmValueAxis() const { return pwmAxis; }
    QtCharts::QValueAxis *elapsedAxis() const { return timeAxis; }
    QtCharts::QLineSeries *pwmLine() const { return pwmLineSeries; }
    // Reset marks within the window, oldest first.
    QVector<qint64> resetMarks() const { return resets; }

private:
    void dropOld(qint64 now);
    void rescale(qint64 now);
    // Seconds since the plot's origin, the time of its first sample or mark.
    double secondsAt(qint64 msecs) const;

    qint64 originMs = -1;
    QtCharts::QValueAxis *timeAxis;
    QtCharts::QValueAxis *tempAxis;
    QtCharts::QValueAxis *pwmAxis;
    QtCharts::QLineSeries *tempLine;
    QtCharts::QLineSeries *pwmLineSeries;
    QVector<QtCharts::QLineSeries *> resetLines;
    QVector<qint64> resets;
};

#endif
