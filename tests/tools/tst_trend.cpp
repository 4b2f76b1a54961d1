// The trend window's parts without a device: the bounded sample store, the
// min/max reduction and its gaps, alarm spans, the CSV recorder, and the
// window fed directly (24-hour bound, pause, legend, cursor), plus the PID
// window's plot.

#include "PidAdjust.h"
#include "PidPlot.h"
#include "StatusRecord.h"
#include "TrendRecorder.h"
#include "TrendReduce.h"
#include "TrendStore.h"
#include "TrendWd.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChartView>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <sys/resource.h>

using namespace QtCharts;

Q_DECLARE_METATYPE(QVector<quint32>)

namespace {

const qint64 StartMs = 1796000000000; // some day in 2026, in ms since the epoch

TrendSample sampleAt(qint64 ms, float laserTemp, quint8 alarms = 0)
{
    TrendSample s;
    s.msecs = ms;
    s.valid = true;
    s.alarms = alarms;
    for (float &v : s.values)
        v = 1.0f;
    s.values[TrendLaserTemp] = laserTemp;
    return s;
}

// True when some segment draws a line from before t to after t.
bool lineCrosses(const QVector<TrendReduce::Segment> &lines, qint64 t)
{
    for (const auto &line : lines) {
        for (int i = 1; i < line.size(); ++i) {
            if (line[i - 1].x() < t && line[i].x() > t)
                return true;
        }
    }
    return false;
}

// What an output added to the trend window was handed.
struct Tally
{
    int samples = 0;
    int lost = 0;
    bool finished = false;
};

// Counts the polls; the write at index failAt (0-based) fails.
class TallyOutput : public WatchOutput
{
public:
    TallyOutput(Tally *tally, int failAt) : tally(tally), failAt(failAt) {}
    bool sample(const QDateTime &, const DevStatusCache &) override { return take(&tally->samples); }
    bool lost(const QDateTime &) override { return take(&tally->lost); }
    void finish() override { tally->finished = true; }

private:
    bool take(int *count)
    {
        if (writes++ == failAt)
            return false;
        ++*count;
        return true;
    }
    Tally *tally;
    int failAt;
    int writes = 0;
};

int pointCount(const QVector<TrendReduce::Segment> &lines)
{
    int n = 0;
    for (const auto &line : lines)
        n += line.size();
    return n;
}

} // namespace

class TestTrend : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void storeKeepsNewestWithinCapacity();
    void storeTimesNeverRunBack();
    void rawSegmentsBreakAtEveryGap();
    void reducedSegmentsKeepExtremes();
    void reducedGapBetweenColumnsBreaks();
    void alarmSpans();
    void recorderWritesWatchColumns();
    void recorderReportsUnwritableTargets();
    void recordingStopsWhenTheFileCannotGrow();
    void recordingNameGetsCsvSuffix_data();
    void recordingNameGetsCsvSuffix();
    void windowOutputsGetEveryPoll_data();
    void windowOutputsGetEveryPoll();
    void windowHoldsAtMost24Hours();
    void windowPauseFreezesView();
    void windowLegendHidesChannel();
    void windowCursorShowsSample();
    void windowShadesAlarms();
    void pidWindowPlotsSamplesAndResets();
};

void TestTrend::initTestCase()
{
    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");
}

void TestTrend::storeKeepsNewestWithinCapacity()
{
    TrendStore store(100);
    for (int i = 0; i < 250; ++i)
        store.append(sampleAt(StartMs + i * 500, float(i)));
    QCOMPARE(store.size(), 100);
    QCOMPARE(store.at(0).msecs, StartMs + 150 * 500);
    QCOMPARE(store.newest().values[TrendLaserTemp], 249.0f);
    QCOMPARE(store.lowerBound(StartMs + 200 * 500), 50);
    QCOMPARE(store.lowerBound(StartMs + 200 * 500 + 1), 51);
    QCOMPARE(store.lowerBound(0), 0);
    QCOMPARE(store.lowerBound(StartMs + 10'000'000), 100);
    QCOMPARE(TrendStore().capacity(), 24 * 3600 * 2);
}

void TestTrend::storeTimesNeverRunBack()
{
    TrendStore store;
    store.append(sampleAt(StartMs + 1000, 1));
    store.append(sampleAt(StartMs + 400, 2)); // clock stepped back
    QCOMPARE(store.newest().msecs, StartMs + 1000);
    store.appendGap(StartMs + 1500);
    store.appendGap(StartMs + 2000); // one gap stands for a closed stretch
    QCOMPARE(store.size(), 3);
    store.append(sampleAt(StartMs + 2500, 3));
    QCOMPARE(store.nearestValid(StartMs + 1600), 1);
    QCOMPARE(store.nearestValid(StartMs + 2400), 3);
    QCOMPARE(TrendStore().nearestValid(StartMs), -1);
}

void TestTrend::rawSegmentsBreakAtEveryGap()
{
    TrendStore store;
    for (int i = 0; i < 20; ++i) {
        if (i == 7 || i == 12)
            store.appendGap(StartMs + i * 500);
        else
            store.append(sampleAt(StartMs + i * 500, float(i)));
    }
    const auto lines = TrendReduce::segments(store, TrendLaserTemp, StartMs, StartMs + 19 * 500, 800);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0].size(), 7);
    QCOMPARE(lines[1].size(), 4);
    QCOMPARE(lines[2].size(), 7);
    QCOMPARE(lines[1].first(), QPointF(double(StartMs + 8 * 500), 8.0));
    QVERIFY(!lineCrosses(lines, StartMs + 7 * 500));
    QVERIFY(!lineCrosses(lines, StartMs + 12 * 500));
    // The sample just outside the span is drawn so the line reaches the edge.
    const auto inner = TrendReduce::segments(store, TrendLaserTemp, StartMs + 2000, StartMs + 3000, 800);
    QCOMPARE(inner.first().first().x(), double(StartMs + 1500));
    QCOMPARE(inner.first().last().x(), double(StartMs + 3000));
}

void TestTrend::reducedSegmentsKeepExtremes()
{
    TrendStore store;
    const int n = 7200; // one hour
    for (int i = 0; i < n; ++i)
        store.append(sampleAt(StartMs + i * 500, float(20 + std::sin(i / 300.0))));
    store.append(sampleAt(StartMs + n * 500, 95.0f)); // one spike
    for (int i = n + 1; i < n + 100; ++i)
        store.append(sampleAt(StartMs + i * 500, 20.0f));
    store.append(sampleAt(StartMs + (n + 100) * 500, -40.0f)); // one dip
    const qint64 to = store.newest().msecs;
    const int columns = 400;
    const auto lines = TrendReduce::segments(store, TrendLaserTemp, StartMs, to, columns);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(pointCount(lines) <= 2 * columns + 4, qPrintable(QString::number(pointCount(lines))));
    double low, high;
    QVERIFY(TrendReduce::yRange(lines, &low, &high));
    QCOMPARE(high, 95.0);
    QCOMPARE(low, -40.0);
    // Points stay in time order.
    for (int i = 1; i < lines[0].size(); ++i)
        QVERIFY(lines[0][i].x() >= lines[0][i - 1].x());
}

void TestTrend::reducedGapBetweenColumnsBreaks()
{
    TrendStore store;
    // 4000 samples over 100 columns: 40 samples per column. A stretch of 200
    // lost replies (five columns) breaks the line; a single lost reply in the
    // middle of a column is covered by that column's stroke.
    for (int i = 0; i < 4000; ++i) {
        const qint64 t = StartMs + i * 500;
        if (i >= 1000 && i < 1200)
            store.appendGap(t);
        else if (i == 3020)
            store.appendGap(t);
        else
            store.append(sampleAt(t, float(i % 7)));
    }
    const auto lines = TrendReduce::segments(store, TrendLaserTemp, StartMs, StartMs + 3999 * 500, 100);
    QCOMPARE(lines.size(), 2);
    for (int i = 1000; i < 1200; i += 10)
        QVERIFY(!lineCrosses(lines, StartMs + i * 500));
}

void TestTrend::alarmSpans()
{
    TrendStore store;
    for (int i = 0; i < 40; ++i) {
        quint8 alarms = 0;
        if (i >= 5 && i < 10)
            alarms = TrendTempAlarmMask;
        if (i >= 20 && i < 30)
            alarms = 0x04; // fan 2
        if (i == 25)
            store.appendGap(StartMs + i * 500);
        else
            store.append(sampleAt(StartMs + i * 500, 0, alarms));
    }
    const qint64 to = StartMs + 39 * 500;
    const auto temp = TrendReduce::alarmSpans(store, TrendTempAlarmMask, StartMs, to, 0);
    QCOMPARE(temp.size(), 1);
    QCOMPARE(temp[0].first, StartMs + 5 * 500);
    QCOMPARE(temp[0].second, StartMs + 10 * 500);
    // The lost reply splits the fan alarm unless the spans are merged.
    const auto fans = TrendReduce::alarmSpans(store, TrendFanAlarmMask, StartMs, to, 0);
    QCOMPARE(fans.size(), 2);
    QCOMPARE(fans[0].second, StartMs + 25 * 500);
    QCOMPARE(TrendReduce::alarmSpans(store, TrendFanAlarmMask, StartMs, to, 1000).size(), 1);
    QVERIFY(TrendReduce::alarmSpans(store, TrendTempAlarmMask, StartMs + 15 * 500, to, 0).isEmpty());
}

void TestTrend::recorderWritesWatchColumns()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("rec.csv");
    TrendRecorder rec;
    QString error;
    QVERIFY(rec.start(path, &error));
    DevStatusCache cache;
    cache.ldTemp = 253;
    cache.fanSpeed2 = 1740;
    const QDateTime t1 = QDateTime::fromMSecsSinceEpoch(StartMs + 123);
    const QDateTime t2 = QDateTime::fromMSecsSinceEpoch(StartMs + 623);
    QVERIFY(rec.sample(t1, cache));
    // Flushed at once: readable while recording goes on.
    QFile partial(path);
    QVERIFY(partial.open(QIODevice::ReadOnly));
    QCOMPARE(partial.readAll().count('\n'), 2);
    QVERIFY(rec.lost(t2));
    QCOMPARE(rec.rows(), 2);
    rec.stop();
    QVERIFY(!rec.isRecording());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    QCOMPARE(lines.size(), 4); // header, two rows, empty after the last line end
    QCOMPARE(lines[0], StatusRecord::csvLine(StatusRecord::csvHeader()));
    QCOMPARE(lines[1], StatusRecord::csvLine(StatusRecord::csvValues(t1, cache)));
    QCOMPARE(lines[2], StatusRecord::csvLine(StatusRecord::lostCsvValues(t2)));
    QVERIFY(lines[1].startsWith(StatusRecord::timestamp(t1)));
}

void TestTrend::recorderReportsUnwritableTargets()
{
    TrendRecorder rec;
    QString error;
    // Not writable even for root.
    QVERIFY(!rec.start(QStringLiteral("/proc/version"), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!rec.isRecording());
    QVERIFY(!rec.sample(QDateTime::currentDateTime(), DevStatusCache()));
    // A medium that fills up: the first row that cannot be flushed ends it.
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        error.clear();
        QVERIFY(!rec.start(QStringLiteral("/dev/full"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!rec.isRecording());
    }
}

void TestTrend::recordingStopsWhenTheFileCannotGrow()
{
    // A medium that fills up during the recording: the file may not grow
    // beyond 1 KiB (the system then refuses the write instead of signalling).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    QTemporaryDir dir;
    const QString path = dir.filePath("full.csv");
    TrendWd w;
    w.show();
    QVERIFY(w.startRecording(path));
    rlimit small = old;
    small.rlim_cur = 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    DevStatusCache cache;
    cache.ldTemp = 251;
    int polls = 0;
    for (; polls < 20 && w.isRecording(); ++polls)
        w.addStatus(cache);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &old), 0);
    QVERIFY(!w.isRecording());
    QVERIFY(w.recordedRows() >= 1 && w.recordedRows() < polls);
    const QString message = w.findChild<QLabel *>("labelRecordState")->text();
    QVERIFY2(message.contains("无法写入") && message.contains("full.csv"), qPrintable(message));
    QVERIFY(w.findChild<QPushButton *>("btnStartRecord")->isEnabled());
    // The polls go on into the charts.
    QCOMPARE(w.samples().size(), polls);
    w.addStatus(cache);
    QCOMPARE(w.samples().size(), polls + 1);
    // Every row counted is whole in the file.
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QVERIFY(lines.size() - 1 >= 1 + w.recordedRows());
    for (int i = 1; i <= w.recordedRows(); ++i)
        QCOMPARE(lines[i].count(','), StatusRecord::csvHeader().size() - 1);
}

void TestTrend::recordingNameGetsCsvSuffix_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("no suffix") << "rec1" << "rec1.csv";
    QTest::newRow("csv") << "rec1.csv" << "rec1.csv";
    QTest::newRow("another suffix") << "rec1.txt" << "rec1.txt";
    QTest::newRow("dotted folder, no suffix") << "run.2/rec1" << "run.2/rec1.csv";
}

void TestTrend::recordingNameGetsCsvSuffix()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("run.2"));
    TrendWd w;
    QVERIFY(w.startRecording(dir.filePath(typed)));
    w.addLost();
    w.stopRecording();
    QFile f(dir.filePath(written));
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(written));
    QCOMPARE(f.readAll().count('\n'), 2); // the header and one row
    QVERIFY(w.findChild<QLabel *>("labelRecordState")->text().contains(QFileInfo(written).fileName()));
}

void TestTrend::windowOutputsGetEveryPoll_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<int>("samples");
    QTest::addColumn<int>("lost");
    QTest::addColumn<bool>("kept");
    QTest::newRow("written") << -1 << 2 << 1 << true;
    QTest::newRow("fails at the lost poll") << 1 << 1 << 0 << false;
}

void TestTrend::windowOutputsGetEveryPoll()
{
    // The recording and an added output take the same polls side by side;
    // an output that fails is let go without ending the recording.
    QFETCH(int, failAt);
    QFETCH(int, samples);
    QFETCH(int, lost);
    QFETCH(bool, kept);
    QTemporaryDir dir;
    Tally tally; // outlives the window, which finishes its outputs when it goes
    TrendWd w;
    QVERIFY(w.startRecording(dir.filePath("rec.csv")));
    w.addOutput(std::make_unique<TallyOutput>(&tally, failAt));
    DevStatusCache cache;
    w.addStatus(cache);
    w.addLost();
    w.addStatus(cache);
    QCOMPARE(tally.samples, samples);
    QCOMPARE(tally.lost, lost);
    QCOMPARE(w.outputCount(), kept ? 1 : 0);
    QCOMPARE(tally.finished, !kept);
    QVERIFY(w.isRecording());
    QCOMPARE(w.recordedRows(), 3);
    QCOMPARE(w.samples().size(), 3);
}

void TestTrend::windowHoldsAtMost24Hours()
{
    TrendWd w;
    const int capacity = TrendStore::DefaultCapacity;
    for (int i = 0; i < capacity + 500; ++i)
        w.addSample(sampleAt(StartMs + qint64(i) * 500, float(i % 100)));
    QCOMPARE(w.samples().size(), capacity);
    QCOMPARE(w.samples().at(0).msecs, StartMs + 500LL * 500);
    w.resize(900, 700);
    w.show();
    w.findChild<QComboBox *>("comboBoxSpan")->setCurrentIndex(3); // 全部
    QCOMPARE(w.viewTo() - w.viewFrom(), qint64(capacity - 1) * 500);
    // The chart gets a reduced series: about two points per pixel column.
    const auto lines = w.drawnSegments(TrendLaserTemp);
    QVERIFY(pointCount(lines) > 100);
    QVERIFY2(pointCount(lines) <= 2 * 2000, qPrintable(QString::number(pointCount(lines))));
    auto *view = w.findChild<QChartView *>("chartViewTemp");
    int drawn = 0;
    for (QAbstractSeries *s : view->chart()->series()) {
        if (auto *line = qobject_cast<QLineSeries *>(s))
            drawn += line->count();
    }
    QVERIFY(drawn < 6 * 2 * 2000);
}

void TestTrend::windowPauseFreezesView()
{
    TrendWd w;
    w.show();
    for (int i = 0; i < 10; ++i)
        w.addSample(sampleAt(StartMs + i * 500, 20));
    QCOMPARE(w.viewTo(), StartMs + 9 * 500);
    QCOMPARE(w.viewTo() - w.viewFrom(), qint64(60000));
    auto *pause = w.findChild<QPushButton *>("btnPause");
    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(pause->text(), QString("继续"));
    for (int i = 10; i < 30; ++i)
        w.addSample(sampleAt(StartMs + i * 500, 30));
    QCOMPARE(w.samples().size(), 30); // samples keep arriving
    QCOMPARE(w.viewTo(), StartMs + 9 * 500);
    QCOMPARE(w.drawnSegments(TrendLaserTemp).first().last().y(), 20.0);
    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(w.viewTo(), StartMs + 29 * 500);
    QCOMPARE(w.drawnSegments(TrendLaserTemp).first().last().y(), 30.0);
    w.findChild<QComboBox *>("comboBoxSpan")->setCurrentIndex(1);
    QCOMPARE(w.viewTo() - w.viewFrom(), qint64(600000));
}

void TestTrend::windowLegendHidesChannel()
{
    TrendWd w;
    w.show();
    for (int i = 0; i < 10; ++i)
        w.addSample(sampleAt(StartMs + i * 500, 20));
    auto *chart = w.findChild<QChartView *>("chartViewTemp")->chart();
    QLegendMarker *marker = nullptr;
    for (QLegendMarker *m : chart->legend()->markers()) {
        if (m->label() == QString("激光温度") && m->isVisible())
            marker = m;
    }
    QVERIFY(marker);
    QLineSeries *line = qobject_cast<QLineSeries *>(marker->series());
    QVERIFY(line->isVisible());
    emit marker->clicked();
    QVERIFY(!line->isVisible());
    QVERIFY(marker->isVisible()); // the entry stays to bring it back
    emit marker->clicked();
    QVERIFY(line->isVisible());
}

void TestTrend::windowCursorShowsSample()
{
    TrendWd w;
    w.resize(900, 700);
    w.show();
    for (int i = 0; i < 100; ++i)
        w.addSample(sampleAt(StartMs + i * 500, 20.0f + i / 10.0f));
    const QString text = w.cursorText(StartMs + 50 * 500 + 100);
    const QString time = QDateTime::fromMSecsSinceEpoch(StartMs + 50 * 500).toString("hh:mm:ss.zzz");
    QVERIFY2(text.startsWith(time), qPrintable(text));
    QVERIFY2(text.contains("激光温度 25.0 ℃"), qPrintable(text));
    // Moving the mouse over a chart shows the sample under it.
    auto *view = w.findChild<QChartView *>("chartViewFan");
    QTest::qWait(50);
    const QPointF middle = view->chart()->plotArea().center();
    const QPoint at = view->mapFromScene(view->chart()->mapToScene(middle));
    QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    QVERIFY(w.findChild<QLabel *>("labelCursor")->text().contains("风扇1 1 rpm"));
}

void TestTrend::windowShadesAlarms()
{
    TrendWd w;
    w.resize(900, 700);
    w.show();
    for (int i = 0; i < 40; ++i)
        w.addSample(sampleAt(StartMs + i * 500, 20, (i >= 10 && i < 20) ? 0x02 : 0));
    auto *fanChart = w.findChild<QChartView *>("chartViewFan")->chart();
    auto *tempChart = w.findChild<QChartView *>("chartViewTemp")->chart();
    auto shadedWidth = [](QChart *chart) {
        for (QAbstractSeries *s : chart->series()) {
            if (auto *area = qobject_cast<QAreaSeries *>(s)) {
                double width = 0;
                const auto pts = area->upperSeries()->pointsVector();
                for (int i = 1; i < pts.size(); ++i) {
                    if (pts[i - 1].y() == pts[i].y() && pts[i].y() > pts.first().y())
                        width += pts[i].x() - pts[i - 1].x();
                }
                return width;
            }
        }
        return -1.0;
    };
    QCOMPARE(shadedWidth(fanChart), 5000.0);
    QCOMPARE(shadedWidth(tempChart), 0.0); // a fan alarm is not a temperature alarm
}

void TestTrend::pidWindowPlotsSamplesAndResets()
{
    PidAdjust w;
    w.show();
    auto *plot = w.findChild<PidPlot *>("chartViewPid");
    QVERIFY(plot);
    w.updateShowText({25, 600, 0, 0, 0});
    w.updateShowText({quint32(-3), 640, 0, 0, 0});
    QCOMPARE(plot->temperatureLine()->count(), 2);
    QCOMPARE(plot->temperatureLine()->at(1).y(), -0.3); // ℃ from the device's tenths
    QCOMPARE(plot->pwmLine()->at(1).y(), 640.0);
    QTest::mouseClick(w.findChild<QPushButton *>("btnReset"), Qt::LeftButton);
    QCOMPARE(plot->resetMarks().size(), 1);
    w.updateShowText({30, 650, 0, 0, 0});
    QCOMPARE(plot->temperatureLine()->count(), 3);
    // The text box is as before.
    QVERIFY(w.findChild<QTextEdit *>("textEditShowTemp")->toPlainText().startsWith("25,600,"));
    // Samples older than the plot's window drop off.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    plot->addSample(now + PidPlot::WindowMs + 1000, 1, 1);
    QCOMPARE(plot->temperatureLine()->count(), 1);
    QVERIFY(plot->resetMarks().isEmpty());
}

QTEST_MAIN(TestTrend)
#include "tst_trend.moc"
