// The charts read right: the PID plot in ℃ over elapsed seconds, the trend
// window's ticks at round values with one distinct label per gridline, and
// its three plot areas on the same left and right edges.

#include "PidAdjust.h"
#include "PidPlot.h"
#include "TrendWd.h"

#include <QComboBox>
#include <QGraphicsTextItem>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <QtTest>

#include <cmath>

using namespace QtCharts;

Q_DECLARE_METATYPE(QVector<quint32>)

namespace {

const qint64 StartMs = 1796000000123; // some day in 2026, not on a whole second

// Where the axis puts its ticks, as it would draw them.
QVector<double> tickValues(const QValueAxis *axis)
{
    QVector<double> ticks;
    const double span = axis->max() - axis->min();
    if (axis->tickType() == QValueAxis::TicksDynamic) {
        const double step = axis->tickInterval();
        double t = axis->tickAnchor() + std::ceil((axis->min() - axis->tickAnchor()) / step - 1e-9) * step;
        for (; t <= axis->max() + step * 1e-9; t += step)
            ticks << t;
    } else {
        for (int i = 0; i < axis->tickCount(); ++i)
            ticks << axis->min() + span * i / qMax(1, axis->tickCount() - 1);
    }
    return ticks;
}

QString labelOf(const QValueAxis *axis, double value)
{
    const QByteArray format = axis->labelFormat().toLatin1();
    if (format.contains('d') || format.contains('i'))
        return QString::asprintf(format.constData(), int(value));
    return QString::asprintf(format.constData(), value);
}

// Empty when every tick sits on a round step and its label names it
// exactly and once; else what is wrong.
QString labelFaults(const QValueAxis *axis)
{
    const QVector<double> ticks = tickValues(axis);
    if (ticks.size() < 3)
        return QString("only %1 ticks").arg(ticks.size());
    QStringList labels, faults;
    for (double t : ticks) {
        const QString label = labelOf(axis, t);
        if (labels.contains(label))
            faults << "repeated " + label;
        if (std::abs(label.toDouble() - t) > 1e-6 * qMax(1.0, std::abs(t)))
            faults << QString("%1 labelled %2").arg(t).arg(label);
        labels << label;
    }
    const double step = ticks[1] - ticks[0];
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    if (std::abs(mantissa - 1) > 1e-6 && std::abs(mantissa - 2) > 1e-6 && std::abs(mantissa - 5) > 1e-6)
        faults << QString("step %1").arg(step);
    return faults.join("; ");
}

TrendSample sampleAt(qint64 ms, float temperature, float current, float fan)
{
    TrendSample s;
    s.msecs = ms;
    s.valid = true;
    for (int c = TrendLaserTemp; c <= TrendTempThreshold; ++c)
        s.values[c] = temperature;
    s.values[TrendLaserCurrent] = s.values[TrendTecCurrent] = current;
    s.values[TrendFan1] = s.values[TrendFan2] = s.values[TrendFan3] = fan;
    return s;
}

} // namespace

class TestChartAxes : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<QVector<quint32>>("QVector<quint32>"); }
    void pidPlotReadsRight();
    void trendTicksAreRound_data();
    void trendTicksAreRound();
    void trendPlotAreasLineUp();
    void trendLabelsReadable_data();
    void trendLabelsReadable();
};

void TestChartAxes::pidPlotReadsRight()
{
    PidAdjust w;
    w.show();
    auto *plot = w.findChild<PidPlot *>("chartViewPid");
    // The device reports 25.1 ℃ as 251; PWM around 10.
    const quint32 temps[] = {251, 250, 250, 249, 249, 250};
    for (quint32 t : temps)
        w.updateShowText({t, 9 + t % 3, 0, 0, 0});
    QVERIFY(plot->temperatureAxis()->titleText().contains("℃"));
    QVERIFY(plot->temperatureAxis()->min() > 20 && plot->temperatureAxis()->max() < 30);
    QCOMPARE(plot->temperatureLine()->at(0).y(), 25.1);
    QCOMPARE(labelFaults(plot->temperatureAxis()), QString());
    QCOMPARE(labelFaults(plot->pwmValueAxis()), QString());
    // Time is elapsed seconds, and the axis says so.
    QVERIFY(plot->elapsedAxis()->titleText().contains("秒"));
    QCOMPARE(plot->temperatureLine()->at(0).x(), 0.0);
    QCOMPARE(labelFaults(plot->elapsedAxis()), QString());
}

void TestChartAxes::trendTicksAreRound_data()
{
    QTest::addColumn<float>("temperature");
    QTest::addColumn<float>("temperatureRise");
    QTest::addColumn<float>("current");
    QTest::addColumn<float>("fan");
    QTest::addColumn<int>("seconds");
    QTest::newRow("flat lines, a minute") << 25.0f << 0.0f << 2.93f << 3000.0f << 60;
    QTest::newRow("warming up, ten minutes") << 23.3f << 4.6f << 0.5f << 2900.0f << 600;
    QTest::newRow("cold, an hour") << -5.0f << 1.0f << 0.0f << 0.0f << 3600;
}

void TestChartAxes::trendTicksAreRound()
{
    QFETCH(float, temperature);
    QFETCH(float, temperatureRise);
    QFETCH(float, current);
    QFETCH(float, fan);
    QFETCH(int, seconds);
    TrendWd w;
    w.resize(900, 700);
    const int samples = seconds * 2;
    for (int i = 0; i <= samples; ++i)
        w.addSample(sampleAt(StartMs + i * 500LL, temperature + temperatureRise * i / samples, current, fan));
    w.show();
    w.findChild<QComboBox *>("comboBoxSpan")->setCurrentIndex(3); // everything
    for (int plot = 0; plot < 3; ++plot) {
        QVERIFY2(labelFaults(w.valueAxis(plot)).isEmpty(),
                 qPrintable(QString("plot %1: %2").arg(plot).arg(labelFaults(w.valueAxis(plot)))));
        // Times on whole seconds (or minutes), each named once, in order.
        QCategoryAxis *time = w.timeAxis(plot);
        const QStringList labels = time->categoriesLabels();
        QVERIFY2(labels.size() >= 3, qPrintable(labels.join(' ')));
        QCOMPARE(QSet<QString>(labels.begin(), labels.end()).size(), labels.size());
        for (const QString &label : labels) {
            const qint64 at = qint64(time->endValue(label));
            QCOMPARE(at % 1000, 0LL);
            QCOMPARE(QDateTime::fromMSecsSinceEpoch(at).toString("hh:mm:ss"), label);
        }
    }
}

void TestChartAxes::trendPlotAreasLineUp()
{
    TrendWd w;
    w.resize(900, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // Fan speeds have the widest labels, currents the narrowest.
    for (int i = 0; i < 120; ++i)
        w.addSample(sampleAt(StartMs + i * 500LL, 25.0f + i / 100.0f, 0.5f, 12000.0f + i));
    QTest::qWait(100);
    const QVector<QRectF> areas = w.plotAreas();
    for (int plot = 1; plot < 3; ++plot) {
        QVERIFY2(std::abs(areas[plot].left() - areas[0].left()) < 1.0,
                 qPrintable(QString("%1 vs %2").arg(areas[plot].left()).arg(areas[0].left())));
        QVERIFY2(std::abs(areas[plot].right() - areas[0].right()) < 1.0,
                 qPrintable(QString("%1 vs %2").arg(areas[plot].right()).arg(areas[0].right())));
    }
}

void TestChartAxes::trendLabelsReadable_data()
{
    QTest::addColumn<float>("temperature");
    QTest::addColumn<float>("currentLow");
    QTest::addColumn<float>("currentHigh");
    QTest::addColumn<float>("fan");
    QTest::addColumn<int>("seconds");
    // Seconds after opening a port: the light source off, the TEC at 0.01 A.
    QTest::newRow("currents 0.00-0.01 A, a few seconds") << 25.0f << 0.0f << 0.01f << 1800.0f << 6;
    QTest::newRow("flat lines, a minute") << 25.0f << 2.93f << 2.93f << 3000.0f << 60;
    QTest::newRow("large ranges, ten minutes") << -40.0f << 0.0f << 250.0f << 12000.0f << 600;
}

void TestChartAxes::trendLabelsReadable()
{
    QFETCH(float, temperature);
    QFETCH(float, currentLow);
    QFETCH(float, currentHigh);
    QFETCH(float, fan);
    QFETCH(int, seconds);
    TrendWd w;
    w.resize(700, 640);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int samples = seconds * 2;
    for (int i = 0; i <= samples; ++i) {
        TrendSample s = sampleAt(StartMs + i * 500LL, temperature + i % 7, currentLow, fan + i % 50);
        s.values[TrendTecCurrent] = currentHigh;
        w.addSample(s);
    }
    QTest::qWait(100);
    // A label cut to fit shows "..." in place of its value.
    for (int plot = 0; plot < 3; ++plot) {
        const QStringList expected = [&] {
            QStringList all;
            for (double t : tickValues(w.valueAxis(plot)))
                all << labelOf(w.valueAxis(plot), t);
            return all;
        }();
        QStringList shown;
        const auto views = w.findChildren<QChartView *>();
        for (QChartView *v : views) {
            if (!v->chart()->axes().contains(w.valueAxis(plot)))
                continue;
            for (QGraphicsItem *item : v->scene()->items()) {
                if (auto *text = dynamic_cast<QGraphicsTextItem *>(item)) {
                    if (text->isVisible())
                        shown << text->toPlainText();
                }
            }
        }
        // Labels too close for the axis's height are left out, never cut.
        int readable = 0;
        for (const QString &text : shown) {
            QVERIFY2(!text.contains("..."), qPrintable(QString("plot %1: %2").arg(plot).arg(shown.join(" | "))));
            readable += expected.contains(text);
        }
        QVERIFY2(readable >= 2, qPrintable(QString("plot %1: %2").arg(plot).arg(shown.join(" | "))));
    }
}

QTEST_MAIN(TestChartAxes)
#include "tst_chartaxes.moc"
