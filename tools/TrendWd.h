#ifndef KORVEX_TRENDWD_H
#define KORVEX_TRENDWD_H

#include "AxisTicks.h"
#include "DevStatusCache.h"
#include "SampleHub.h"
#include "TrendRecorder.h"
#include "TrendReduce.h"
#include "TrendStore.h"

#include <QColor>
#include <QMainWindow>
#include <QVector>

#include <memory>
#include <vector>

namespace QtCharts {
class QAreaSeries;
class QCategoryAxis;
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
}

namespace Ui {
class TrendWd;
}

// Tool window: the status values of every poll as three charts on one time
// axis (temperatures, currents, fan speeds), alarm spans shaded, and an
// optional CSV recording of every poll. It only listens: the samples come
// from the main window's status replies, nothing more is asked of the device.
class TrendWd : public QMainWindow
{
    Q_OBJECT
public:
    explicit TrendWd(QWidget *parent = nullptr);
    ~TrendWd() override;

    const TrendStore &samples() const { return store; }
    // Adds a sample as if it had been polled (tests and benchmarks feed the
    // store this way); redraws when the window is shown and not paused.
    void addSample(const TrendSample &sample);
    void redraw();

    // What is drawn for a channel now: one segment per unbroken line.
    QVector<TrendReduce::Segment> drawnSegments(int channel) const;
    // Time span shown, in milliseconds since the epoch.
    qint64 viewFrom() const { return shownFrom; }
    qint64 viewTo() const { return shownTo; }
    // The plot areas (in each chart's own coordinates), temperatures,
    // currents, fans: they share their left and right edges.
    QVector<QRectF> plotAreas() const;
    QtCharts::QValueAxis *valueAxis(int plot) const { return plots[plot].value; }
    QtCharts::QCategoryAxis *timeAxis(int plot) const { return plots[plot].time; }
    // The time and values of the sample nearest to msecs, as the cursor shows them.
    QString cursorText(qint64 msecs) const;

    // Records every poll from now on into path (the record button asks for
    // it); a name without a suffix gets ".csv".
    bool startRecording(const QString &path);
    void stopRecording();
    bool isRecording() const { return recorder.isRecording(); }
    int recordedRows() const { return recorder.rows(); }

    // Every poll from now on also goes to this output, through the sample
    // hub that `korvexctl watch` hands its polls to. An output that cannot be
    // written is finished and let go; the charts and the recording go on.
    void addOutput(std::unique_ptr<WatchOutput> output);
    int outputCount() const { return hub.outputCount(); }
    // The window's polls as samples, for whoever looks on (sampled).
    SampleHub &sampleHub() { return hub; }

public slots:
    // A complete status reply, decoded.
    void addStatus(const DevStatusCache &cache);
    // A poll whose reply was lost or refused.
    void addLost();
    // The device port opened or closed; a closed port ends the lines.
    void portChanged(bool open);

private slots:
    void on_comboBoxSpan_currentIndexChanged(int index);
    void on_btnPause_toggled(bool paused);
    void on_btnStartRecord_clicked();
    void on_btnStopRecord_clicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Channel
    {
        int id;
        QString name;
        QString unit;
        QColor color;
        Qt::PenStyle style;
        int plot;
        bool shown = true;
        QVector<QtCharts::QLineSeries *> lines; // lines[0] carries the legend entry
        QVector<TrendReduce::Segment> drawn;
    };
    struct Plot
    {
        QtCharts::QChartView *view = nullptr;
        QtCharts::QChart *chart = nullptr;
        QtCharts::QCategoryAxis *time = nullptr;
        QtCharts::QValueAxis *value = nullptr;
        QtCharts::QAreaSeries *alarm = nullptr;
        QtCharts::QLineSeries *alarmUpper = nullptr;
        QtCharts::QLineSeries *alarmLower = nullptr;
        quint8 alarmMask = 0;
        // Margins added to line the plot area up with the other charts, and
        // those its present plot area was laid out with.
        int extraLeft = 0;
        int extraRight = 0;
        int laidOutLeft = 0;
        int laidOutRight = 0;
        // Plot height the value axis's ticks were last spaced for.
        int scaledHeight = 0;
    };

    void buildPlot(int index, QtCharts::QChartView *view, const QString &title, const QString &alarmName,
                   quint8 alarmMask);
    void addChannel(int id, const QString &name, const QString &unit, QColor color, Qt::PenStyle style, int plot);
    QtCharts::QLineSeries *newLine(Channel &channel);
    void toggleChannel(Channel &channel);
    void drawChannel(Channel &channel, qint64 from, qint64 to, int columns);
    void drawAlarm(Plot &plot, qint64 from, qint64 to, int columns, double low, double high);
    void redrawIfVisible(qint64 newest);
    // Widens the margins of the charts whose axis labels are narrower, so
    // that a current step lines up with its temperature change.
    // Round ticks over [low, high], no more of them than the plot's height holds.
    AxisTicks::Scale valueScale(Plot &p, double low, double high, double minSpan);
    void alignPlotAreas();
    // The one place where the window's polls leave it: the recording while
    // it runs, then the hub. cache is null for a lost poll.
    void deliver(const QDateTime &time, const DevStatusCache *cache);
    void recordFailed(const QString &reason);
    void showRecordState();

    Ui::TrendWd *ui;
    TrendStore store;
    TrendRecorder recorder;
    SampleHub hub;
    QVector<Channel> channels;
    Plot plots[3];
    qint64 spanMs = 60 * 1000; // 0: everything kept
    bool paused = false;
    qint64 shownFrom = 0;
    qint64 shownTo = 0;
    qint64 drawnAt = 0; // newest poll time of the last redraw
    // The newest poll, sample or lost: the view's right edge follows it, so
    // the time goes on while the device is away (a run of lost polls is
    // stored as one gap).
    qint64 newestPollMs = 0;
    bool devicePortOpen = false;
    QString unitSerial; // from the last reply that carried one
};

#endif
