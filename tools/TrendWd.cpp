#include "TrendWd.h"
#include "AxisTicks.h"
#include "StatusFormat.h"
#include "TrendExport.h"
#include "TrendLines.h"
#include "ui_TrendWd.h"

#include <QDateTime>
#include <QFontMetrics>

#include <cmath>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QWheelEvent>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

namespace {

using TrendLines::PlotTemp;

// The choices of comboBoxSpan, in its order; 0 keeps everything in view.
const qint64 Spans[] = {60 * 1000, 10 * 60 * 1000, 60 * 60 * 1000, 0};

// Plot width used before the chart has been laid out.
constexpr int DefaultColumns = 800;

// Base margins of each chart: the plot areas line up by adding to them.
constexpr int ChartMargin = 4;

// The smallest value span of each plot, so that a flat line still gets an
// axis with distinct labels: 1 ℃, 0.1 A, 100 rpm.
const double MinSpan[] = {1.0, 0.1, 100.0};

// The chart cuts a value label to "..." once its share of the axis height
// (height / ticks, less a little padding) is lower than the text: each tick
// gets the text's height and this much more.
constexpr int TickGap = 8;

// An alarm is a band along the time axis this share of the plot high, so
// the lines stay readable through an alarm that fills the view.
constexpr double AlarmBand = 0.06;

// The narrowest and widest held view.
constexpr qint64 MinViewMs = 5 * 1000;
constexpr qint64 MaxViewMs = 24 * 3600 * 1000;

} // namespace

TrendWd::TrendWd(QWidget *parent) : QMainWindow(parent), ui(new Ui::TrendWd)
{
    ui->setupUi(this);
    QChartView *views[] = {ui->chartViewTemp, ui->chartViewCurrent, ui->chartViewFan};
    for (int plot = 0; plot < TrendLines::PlotCount; ++plot)
        buildPlot(plot, views[plot], TrendLines::plotTitle(plot), TrendLines::alarmName(plot),
                  TrendLines::alarmMask(plot));
    // In the table's order, which is also the drawing order: the lines drawn
    // last lie on top where values are nearly equal.
    for (const TrendLines::Line &line : TrendLines::all())
        addChannel(line.channel, TrendLines::name(line), QString::fromUtf8(line.unit), line.color, line.style,
                   line.plot);
    // The readout is the cursor on the charts; the label above them keeps
    // its text for screen readers, out of the way of the charts.
    ui->labelCursor->setText(tr("鼠标移到图上，这里显示该时刻的数值") + QStringLiteral("\n "));
    ui->labelCursor->hide();
    auto addButton = [this](const char *name, const QString &text) {
        auto *button = new QPushButton(text, this);
        button->setObjectName(QString::fromLatin1(name));
        ui->horizontalLayoutControls->insertWidget(3, button);
        return button;
    };
    QPushButton *png = addButton("btnExportPng", tr("导出图片…"));
    QPushButton *csv = addButton("btnExportCsv", tr("导出 CSV…"));
    QPushButton *live = addButton("btnLive", tr("回到实时"));
    live->setToolTip(tr("滚轮缩放，拖动平移，按住 Shift 拖动选择时段"));
    live->setEnabled(false);
    connect(live, &QPushButton::clicked, this, &TrendWd::backToLive);
    connect(csv, &QPushButton::clicked, this, [this] { askAndExport(QStringLiteral("csv")); });
    connect(png, &QPushButton::clicked, this, [this] { askAndExport(QStringLiteral("png")); });
    showRecordState();
}

TrendWd::~TrendWd()
{
    recorder.stop();
    hub.finishAll();
    delete ui;
}

void TrendWd::buildPlot(int index, QChartView *view, const QString &title, const QString &alarmName,
                        quint8 alarmMask)
{
    Plot &p = plots[index];
    p.view = view;
    p.chart = new QChart;
    p.chart->legend()->setAlignment(Qt::AlignTop);
    p.chart->setMargins(QMargins(ChartMargin, 0, ChartMargin, 0));
    // The view owns the chart it is given, but lets go of the one it made
    // itself: that one is freed here.
    QChart *initial = view->chart();
    view->setChart(p.chart);
    delete initial;
    view->setRenderHint(QPainter::Antialiasing, false);
    // Lower, a chart cuts its axis titles; a window lower than three such
    // charts scrolls them (see AdminWd).
    view->setMinimumHeight(180);
    view->setMouseTracking(true);
    view->viewport()->setMouseTracking(true);
    view->viewport()->installEventFilter(this);
    p.cursor = std::make_unique<TrendCursor>(p.chart);

    // Times are labelled at whole seconds, minutes or hours (AxisTicks).
    p.time = new QCategoryAxis;
    p.time->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    p.value = new QValueAxis;
    p.value->setTitleText(title);
    p.chart->addAxis(p.time, Qt::AlignBottom);
    p.chart->addAxis(p.value, Qt::AlignLeft);
    // A chart's plot area shows the margins it was laid out with; new
    // margins take effect at its next layout.
    connect(p.chart, &QChart::plotAreaChanged, this, [this, index](const QRectF &area) {
        plots[index].laidOutLeft = plots[index].extraLeft;
        plots[index].laidOutRight = plots[index].extraRight;
        alignPlotAreas();
        // A taller or shorter plot holds more or fewer ticks.
        if (int(area.height()) != plots[index].scaledHeight)
            redraw();
    });

    p.alarmMask = alarmMask;
    if (alarmMask) {
        // Shaded rectangles: the upper line steps up to the top of the plot
        // over each alarm span and down between them.
        p.alarmUpper = new QLineSeries(this);
        p.alarmLower = new QLineSeries(this);
        p.alarm = new QAreaSeries(p.alarmUpper, p.alarmLower);
        p.alarm->setName(alarmName);
        p.alarm->setPen(Qt::NoPen);
        p.alarm->setBrush(QColor(255, 40, 40, 60));
        p.chart->addSeries(p.alarm);
        p.alarm->attachAxis(p.time);
        p.alarm->attachAxis(p.value);
    }
}

void TrendWd::addChannel(int id, const QString &name, const QString &unit, QColor color, Qt::PenStyle style,
                         int plot)
{
    Channel c;
    c.id = id;
    c.name = name;
    c.unit = unit;
    c.color = color;
    c.style = style;
    c.plot = plot;
    channels.append(c);
    Channel &added = channels.last();
    QLineSeries *first = newLine(added);
    // The first line of a channel carries its legend entry; a click on the
    // entry hides or shows all of the channel's lines.
    const auto markers = plots[plot].chart->legend()->markers(first);
    if (!markers.isEmpty()) {
        QLegendMarker *marker = markers.first();
        const int index = channels.size() - 1;
        connect(marker, &QLegendMarker::clicked, this, [this, index] { toggleChannel(channels[index]); });
    }
}

QLineSeries *TrendWd::newLine(Channel &channel)
{
    Plot &p = plots[channel.plot];
    auto *line = new QLineSeries;
    line->setName(channel.name);
    QPen pen(channel.color);
    pen.setWidthF(1.5);
    pen.setStyle(channel.style);
    line->setPen(pen);
    line->setVisible(channel.shown);
    p.chart->addSeries(line);
    line->attachAxis(p.time);
    line->attachAxis(p.value);
    if (!channel.lines.isEmpty()) {
        for (QLegendMarker *m : p.chart->legend()->markers(line))
            m->setVisible(false);
    }
    channel.lines.append(line);
    return line;
}

void TrendWd::toggleChannel(Channel &channel)
{
    channel.shown = !channel.shown;
    Plot &p = plots[channel.plot];
    for (int i = 0; i < channel.lines.size(); ++i) {
        QLineSeries *line = channel.lines[i];
        line->setVisible(channel.shown);
        // Hiding a series hides its legend entry as well: keep the channel's
        // entry, dimmed while hidden, and no entry for the other lines.
        for (QLegendMarker *m : p.chart->legend()->markers(line)) {
            m->setVisible(i == 0);
            QColor label = m->labelBrush().color();
            label.setAlphaF(channel.shown ? 1.0 : 0.4);
            m->setLabelBrush(label);
        }
    }
    redraw();
}

void TrendWd::addSample(const TrendSample &sample)
{
    store.append(sample);
    redrawIfVisible(sample.msecs);
}

void TrendWd::redrawIfVisible(qint64 newest)
{
    if (!isVisible() || paused)
        return;
    // A long span moves by less than a pixel column per poll: redraw once
    // the view has moved a column (at least every 5 s, for the newest values).
    const int width = int(plots[0].chart->plotArea().width());
    const qint64 columnMs = (shownTo - shownFrom) / qMax(1, width > 10 ? width : DefaultColumns);
    if (drawnAt != 0 && newest >= drawnAt && newest - drawnAt < qMin<qint64>(columnMs, 5000))
        return;
    redraw();
}

void TrendWd::addOutput(std::unique_ptr<WatchOutput> output)
{
    hub.addOutput(std::move(output));
}

void TrendWd::deliver(const QDateTime &time, const DevStatusCache *cache)
{
    PolledSample sample;
    sample.time = time;
    sample.answered = cache != nullptr;
    if (cache) {
        sample.status = *cache;
        const QString serial = StatusFormat::formatSerialNumber(cache->serialNum);
        if (!serial.isEmpty())
            unitSerial = serial;
    }
    sample.serial = unitSerial;
    sample.portOpen = devicePortOpen;
    if (recorder.isRecording()) {
        if (recorder.take(sample))
            showRecordState();
        else
            recordFailed(recorder.errorText());
    }
    hub.deliver(sample);
}

void TrendWd::addStatus(const DevStatusCache &cache)
{
    const QDateTime now = QDateTime::currentDateTime();
    history.sample(now, cache);
    deliver(now, &cache);
    newestPollMs = now.toMSecsSinceEpoch();
    addSample(TrendSample::fromStatus(newestPollMs, cache));
}

void TrendWd::addLost()
{
    const QDateTime now = QDateTime::currentDateTime();
    history.lost(now);
    deliver(now, nullptr);
    newestPollMs = now.toMSecsSinceEpoch();
    store.appendGap(newestPollMs);
    redrawIfVisible(newestPollMs);
}

void TrendWd::portChanged(bool open)
{
    // Whether opened or closed, nothing connects the samples before with
    // those after: the time axis goes on, the line does not.
    devicePortOpen = open;
    store.appendGap(QDateTime::currentMSecsSinceEpoch());
    showRecordState();
}

void TrendWd::redraw()
{
    if (!paused) {
        if (store.isEmpty()) {
            shownTo = QDateTime::currentMSecsSinceEpoch();
            shownFrom = shownTo - (spanMs ? spanMs : 60 * 1000);
        } else {
            shownTo = qMax(store.newest().msecs, newestPollMs);
            shownFrom = spanMs ? shownTo - spanMs : store.at(0).msecs;
            if (shownTo - shownFrom < 1000)
                shownFrom = shownTo - 1000;
        }
    }
    const qint64 from = shownFrom;
    const qint64 to = shownTo;
    drawnAt = store.isEmpty() ? 0 : qMax(store.newest().msecs, newestPollMs);
    for (Plot &p : plots)
        AxisTicks::applyTime(p.time, from, to);
    for (int plot = 0; plot < 3; ++plot) {
        Plot &p = plots[plot];
        const int width = int(p.chart->plotArea().width());
        const int columns = width > 10 ? width : DefaultColumns;
        double low = 0, high = 0;
        bool any = false;
        for (Channel &c : channels) {
            if (c.plot != plot)
                continue;
            drawChannel(c, from, to, columns);
            double l, h;
            if (c.shown && TrendReduce::yRange(c.drawn, &l, &h)) {
                low = any ? qMin(low, l) : l;
                high = any ? qMax(high, h) : h;
                any = true;
            }
        }
        if (!any) {
            low = 0;
            high = 1;
        }
        double padLow = low - (high - low) * 0.08;
        double padHigh = high + (high - low) * 0.08;
        // Speeds and currents below zero do not exist: no axis room for them.
        if (plot != PlotTemp && low >= 0) {
            padLow = qMax(0.0, padLow);
            padHigh = qMax(padHigh, padLow + MinSpan[plot]);
        }
        const AxisTicks::Scale scale = valueScale(p, padLow, padHigh, MinSpan[plot]);
        AxisTicks::apply(p.value, scale);
        drawAlarm(p, from, to, columns, scale.low, scale.high);
    }
}

AxisTicks::Scale TrendWd::valueScale(Plot &p, double low, double high, double minSpan)
{
    p.scaledHeight = int(p.chart->plotArea().height());
    const int tickHeight = QFontMetrics(p.value->labelsFont()).height() + TickGap;
    // Not laid out yet: the usual five steps, until the chart knows its height.
    const int fitting = p.scaledHeight > 0 ? p.scaledHeight / tickHeight + 1 : 6;
    AxisTicks::Scale scale;
    for (int intervals = 5; intervals >= 1; --intervals) {
        scale = AxisTicks::niceScale(low, high, minSpan, intervals);
        if (std::lround((scale.high - scale.low) / scale.step) + 1 <= fitting)
            break;
    }
    return scale;
}

void TrendWd::alignPlotAreas()
{
    // Each chart's own plot area, as if it had no added margins. Charts not
    // laid out yet (no area) or of another width are left until they are.
    qreal left = 0, right = 0;
    QRectF natural[3];
    for (int i = 0; i < 3; ++i) {
        const QRectF area = plots[i].chart->plotArea();
        if (area.width() <= 0 || area.height() <= 0
            || plots[i].chart->size().width() != plots[0].chart->size().width())
            return;
        natural[i] = area.adjusted(-plots[i].laidOutLeft, 0, plots[i].laidOutRight, 0);
        left = i ? qMax(left, natural[i].left()) : natural[i].left();
        right = i ? qMin(right, natural[i].right()) : natural[i].right();
    }
    for (int i = 0; i < 3; ++i) {
        Plot &p = plots[i];
        // Whole pixels: an unchanged margin also ends the round of plot
        // area changes that new margins set off.
        const int extraLeft = qRound(left - natural[i].left());
        const int extraRight = qRound(natural[i].right() - right);
        if (extraLeft < 0 || extraRight < 0 || extraLeft + extraRight >= natural[i].width())
            return;
        if (extraLeft == p.extraLeft && extraRight == p.extraRight)
            continue;
        p.extraLeft = extraLeft;
        p.extraRight = extraRight;
        p.chart->setMargins(QMargins(ChartMargin + extraLeft, 0, ChartMargin + extraRight, 0));
    }
}

QVector<QRectF> TrendWd::plotAreas() const
{
    return {plots[0].chart->plotArea(), plots[1].chart->plotArea(), plots[2].chart->plotArea()};
}

void TrendWd::drawChannel(Channel &c, qint64 from, qint64 to, int columns)
{
    c.drawn = TrendReduce::segments(store, c.id, from, to, columns);
    while (c.lines.size() < c.drawn.size())
        newLine(c);
    for (int i = 0; i < c.lines.size(); ++i) {
        if (i < c.drawn.size())
            c.lines[i]->replace(c.drawn[i]);
        else if (c.lines[i]->count() > 0)
            c.lines[i]->clear();
    }
}

void TrendWd::drawAlarm(Plot &p, qint64 from, qint64 to, int columns, double low, double high)
{
    if (!p.alarm)
        return;
    const qint64 pixelMs = qMax<qint64>(1, (to - from) / qMax(1, columns));
    const auto spans = TrendReduce::alarmSpans(store, p.alarmMask, from, to, pixelMs);
    high = low + (high - low) * AlarmBand;
    QVector<QPointF> upper;
    upper.reserve(spans.size() * 4 + 2);
    upper << QPointF(double(from), low);
    for (const auto &span : spans) {
        // A span of one sample still gets a visible stripe.
        const double start = double(qMax(from, span.first));
        const double end = double(qMin(to, qMax(span.second, span.first + pixelMs)));
        upper << QPointF(start, low) << QPointF(start, high) << QPointF(end, high) << QPointF(end, low);
    }
    upper << QPointF(double(to), low);
    p.alarmUpper->replace(upper);
    p.alarmLower->replace(QVector<QPointF>{QPointF(double(from), low), QPointF(double(to), low)});
}

QVector<TrendReduce::Segment> TrendWd::drawnSegments(int channel) const
{
    for (const Channel &c : channels) {
        if (c.id == channel)
            return c.drawn;
    }
    return {};
}

QString TrendWd::cursorText(qint64 msecs) const
{
    const int i = store.nearestValid(msecs);
    if (i < 0)
        return QString();
    const TrendSample &s = store.at(i);
    // Two lines: the time and the temperatures, then currents, fans and alarms.
    QStringList first, second;
    first << QDateTime::fromMSecsSinceEpoch(s.msecs).toString(QStringLiteral("hh:mm:ss.zzz"));
    for (const Channel &c : channels) {
        const int decimals = TrendLines::decimals(c.plot);
        const QString part =
            QStringLiteral("%1 %2 %3").arg(c.name, QString::number(double(s.values[c.id]), 'f', decimals), c.unit);
        (c.plot == PlotTemp ? first : second) << part;
    }
    if (s.alarms & TrendTempAlarmMask)
        second << tr("温度告警");
    if (s.alarms & TrendFanAlarmMask)
        second << tr("风扇告警");
    return first.join(QStringLiteral("  ")) + QLatin1Char('\n') + second.join(QStringLiteral("  "));
}

bool TrendWd::eventFilter(QObject *watched, QEvent *event)
{
    for (int plot = 0; plot < TrendLines::PlotCount; ++plot) {
        if (watched == plots[plot].view->viewport() && plotMouseEvent(plot, event))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

qint64 TrendWd::timeAt(int plot, const QPoint &pos) const
{
    const Plot &p = plots[plot];
    return qint64(p.chart->mapToValue(p.chart->mapFromScene(p.view->mapToScene(pos))).x());
}

bool TrendWd::plotMouseEvent(int plot, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove: {
        const QPoint pos = static_cast<QMouseEvent *>(event)->pos();
        if (dragging) {
            const qint64 moved = timeAt(plot, dragStart) - timeAt(plot, pos);
            showSpan(dragFrom + moved, dragTo + moved);
        }
        showCursor(timeAt(plot, pos));
        return dragging || selecting;
    }
    case QEvent::Leave:
        hideCursor();
        return false;
    case QEvent::Wheel: {
        auto *wheel = static_cast<QWheelEvent *>(event);
        const int steps = wheel->angleDelta().y() / 120;
        if (steps == 0)
            return true;
        zoomAround(timeAt(plot, wheel->position().toPoint()), steps > 0 ? 0.8 : 1.25);
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto *press = static_cast<QMouseEvent *>(event);
        if (press->button() != Qt::LeftButton)
            return false;
        dragStart = press->pos();
        selecting = press->modifiers() & Qt::ShiftModifier;
        dragging = !selecting;
        if (dragging) {
            holdView();
            dragFrom = shownFrom;
            dragTo = shownTo;
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto *release = static_cast<QMouseEvent *>(event);
        if (release->button() != Qt::LeftButton || !(dragging || selecting))
            return false;
        if (selecting) {
            const qint64 a = timeAt(plot, dragStart);
            const qint64 b = timeAt(plot, release->pos());
            if (qAbs(b - a) >= 1000)
                showSpan(qMin(a, b), qMax(a, b));
        }
        dragging = selecting = false;
        return true;
    }
    default:
        return false;
    }
}

QString TrendWd::cursorPlotText(int plot, qint64 msecs) const
{
    const int i = store.nearestValid(msecs);
    if (i < 0)
        return QString();
    const TrendSample &s = store.at(i);
    // No sample within a few polls: nothing to show (a gap).
    if (qAbs(s.msecs - msecs) > qMax<qint64>(2000, (shownTo - shownFrom) / 200))
        return QString();
    QStringList lines{QDateTime::fromMSecsSinceEpoch(s.msecs).toString(QStringLiteral("hh:mm:ss"))};
    for (const Channel &c : channels) {
        if (c.plot == plot && c.shown)
            lines << QStringLiteral("%1  %2 %3").arg(c.name, QString::number(double(s.values[c.id]), 'f',
                                                                           TrendLines::decimals(plot)), c.unit);
    }
    if (s.alarms & plots[plot].alarmMask)
        lines << TrendLines::alarmName(plot);
    return lines.join(QLatin1Char('\n'));
}

void TrendWd::showCursor(qint64 msecs)
{
    const QString text = cursorText(msecs);
    if (!text.isEmpty())
        ui->labelCursor->setText(text);
    for (int plot = 0; plot < TrendLines::PlotCount; ++plot) {
        Plot &p = plots[plot];
        const QString box = cursorPlotText(plot, msecs);
        const QRectF area = p.chart->plotArea();
        const qreal x = p.chart->mapToPosition(QPointF(double(msecs), p.value->min())).x();
        if (box.isEmpty() || x < area.left() || x > area.right())
            p.cursor->hide();
        else
            p.cursor->show(x, area, box);
    }
}

void TrendWd::hideCursor()
{
    for (Plot &p : plots)
        p.cursor->hide();
}

void TrendWd::holdView()
{
    if (!paused)
        ui->btnPause->setChecked(true); // freezes the view where it is
}

void TrendWd::showSpan(qint64 from, qint64 to)
{
    holdView();
    const qint64 span = qBound(MinViewMs, to - from, MaxViewMs);
    shownFrom = from;
    shownTo = from + span;
    redraw();
}

void TrendWd::zoomAround(qint64 msecs, double factor)
{
    holdView();
    const qint64 span = qBound(MinViewMs, qint64(double(shownTo - shownFrom) * factor), MaxViewMs);
    const double share = shownTo > shownFrom ? double(msecs - shownFrom) / double(shownTo - shownFrom) : 0.5;
    const qint64 from = msecs - qint64(double(span) * qBound(0.0, share, 1.0));
    showSpan(from, from + span);
}

void TrendWd::panBy(qint64 ms)
{
    holdView();
    showSpan(shownFrom + ms, shownTo + ms);
}

void TrendWd::backToLive()
{
    ui->btnPause->setChecked(false);
}

bool TrendWd::exportCsv(const QString &path, QString *error) const
{
    return TrendExport::writeCsv(history, path, error);
}

bool TrendWd::exportPng(const QString &path, QString *error) const
{
    return TrendExport::writePng(store, shownFrom, shownTo, path, error);
}

QString TrendWd::exportName(const QString &suffix) const
{
    return TrendExport::defaultName(unitSerial, suffix);
}

void TrendWd::askAndExport(const QString &suffix)
{
    const bool csv = suffix == QLatin1String("csv");
    const QString path = QFileDialog::getSaveFileName(
        this, csv ? tr("导出 CSV…") : tr("导出图片…"), exportName(suffix),
        csv ? tr("CSV 文件 (*.csv)") : tr("PNG 图片 (*.png)"), nullptr, QFileDialog::DontUseNativeDialog);
    if (path.isEmpty())
        return;
    QString error;
    if (csv ? exportCsv(path, &error) : exportPng(path, &error))
        statusBar()->showMessage(tr("已导出 %1").arg(path), 5000);
    else
        QMessageBox::warning(this, tr("警告"), tr("无法导出 %1：%2").arg(path, error));
}

void TrendWd::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    redraw();
}

void TrendWd::on_comboBoxSpan_currentIndexChanged(int index)
{
    if (index < 0 || index >= int(sizeof Spans / sizeof Spans[0]))
        return;
    spanMs = Spans[index];
    if (paused) // a new span while paused ends at the frozen right edge
        shownFrom = spanMs ? shownTo - spanMs : (store.isEmpty() ? shownFrom : store.at(0).msecs);
    redraw();
}

void TrendWd::on_btnPause_toggled(bool checked)
{
    paused = checked;
    ui->btnPause->setText(checked ? tr("继续") : tr("暂停"));
    findChild<QPushButton *>(QStringLiteral("btnLive"))->setEnabled(checked);
    redraw();
}

bool TrendWd::startRecording(const QString &path)
{
    QString reason;
    const bool suffixGiven = !QFileInfo(path).suffix().isEmpty();
    if (!recorder.start(suffixGiven ? path : path + QStringLiteral(".csv"), &reason)) {
        recordFailed(reason);
        return false;
    }
    showRecordState();
    return true;
}

void TrendWd::stopRecording()
{
    recorder.stop();
    showRecordState();
}

void TrendWd::on_btnStartRecord_clicked()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("记录到 CSV 文件"), QString(),
                                                      tr("CSV 文件 (*.csv)"), nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty())
        startRecording(path);
}

void TrendWd::on_btnStopRecord_clicked()
{
    stopRecording();
}

void TrendWd::recordFailed(const QString &reason)
{
    recorder.stop();
    showRecordState();
    const QString message = tr("记录已停止：无法写入 %1（%2）").arg(recorder.fileName(), reason);
    ui->labelRecordState->setText(message);
    ui->labelRecordState->setStyleSheet(QStringLiteral("color: #c00000;"));
    statusBar()->showMessage(message);
}

void TrendWd::showRecordState()
{
    const bool on = recorder.isRecording();
    ui->btnStartRecord->setEnabled(!on);
    ui->btnStopRecord->setEnabled(on);
    ui->labelRecordState->setStyleSheet(on ? QStringLiteral("color: #c00000; font-weight: bold;") : QString());
    if (on)
        ui->labelRecordState->setText(tr("● 正在记录 %1：%2 行")
                                          .arg(QFileInfo(recorder.fileName()).fileName())
                                          .arg(recorder.rows())
                                      + (devicePortOpen ? QString() : tr("（设备未连接，记录丢失行）")));
    else if (recorder.fileName().isEmpty())
        ui->labelRecordState->setText(tr("未记录"));
    else
        ui->labelRecordState->setText(tr("记录已结束 %1：%2 行")
                                          .arg(QFileInfo(recorder.fileName()).fileName())
                                          .arg(recorder.rows()));
}
