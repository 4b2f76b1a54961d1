#ifndef KORVEX_TRENDWD_H
#define KORVEX_TRENDWD_H

#include "AxisTicks.h"
#include "StatusHistory.h"
#include "TrendCursor.h"
#include "DevStatusCache.h"
#include "SampleHub.h"
#include "TrendRecorder.h"
#include "TrendReduce.h"
#include "TrendStore.h"

#include <QColor>
#include <QMainWindow>
#include <QPoint>
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
    // What a plot's cursor box shows for msecs: the time, then each of the
    // plot's lines with its value. Empty with no sample near.
    QString cursorPlotText(int plot, qint64 msecs) const;
    // The cursor's box text on a plot now, empty while it is hidden.
    QString shownCursorText(int plot) const { return plots[plot].cursor->text(); }

    // The view: live (following the newest poll over the chosen span), or
    // held where the operator zoomed or panned it.
    bool isLive() const { return !paused; }
    // Zooms the time axis by factor (below 1: closer) around msecs.
    void zoomAround(qint64 msecs, double factor);
    // Shows [from, to], held.
    void showSpan(qint64 from, qint64 to);
    // Moves the held view by ms (positive: later).
    void panBy(qint64 ms);
    void backToLive();

    // Every poll kept (24 hours) as the CSV of `korvexctl watch --csv`, and
    // the charts of the span shown as a picture. False with *error set.
    bool exportCsv(const QString &path, QString *error) const;
    bool exportPng(const QString &path, QString *error) const;
    // A file name with the unit's serial number and the time.
    QString exportName(const QString &suffix) const;

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
    // Mouse work on a plot: the cursor, wheel zoom, drag to pan, Shift and
    // drag to zoom into a span.
    bool plotMouseEvent(int plot, QEvent *event);
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
        std::unique_ptr<TrendCursor> cursor;
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
    // msecs at a point of a plot's viewport.
    qint64 timeAt(int plot, const QPoint &pos) const;
    void showCursor(qint64 msecs);
    void hideCursor();
    void holdView();
    void askAndExport(const QString &suffix);
    void showRecordState();

    Ui::TrendWd *ui;
    TrendStore store;
    TrendRecorder recorder;
    SampleHub hub;
    StatusHistory history;
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
    // A drag on a plot: where it started, and the view then.
    bool dragging = false;
    bool selecting = false;
    QPoint dragStart;
    qint64 dragFrom = 0;
    qint64 dragTo = 0;
};

#endif
