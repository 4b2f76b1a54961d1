// Working with the trend charts: the cursor across the three plots, zoom,
// pan and back to live, the alarm band, and exporting what is kept.

#include "TrendWd.h"
#include "WatchOutput.h"

#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <QtTest>

using namespace QtCharts;

namespace {

QChartView *view(TrendWd &w, const char *name)
{
    return w.findChild<QChartView *>(QString::fromLatin1(name));
}

QPoint pointAt(QChartView *v, double share)
{
    const QRectF area = v->chart()->plotArea();
    const QPointF at(area.left() + area.width() * share, area.center().y());
    return v->mapFromScene(v->chart()->mapToScene(at));
}

void mouse(QChartView *v, QEvent::Type type, const QPoint &at, Qt::MouseButton button = Qt::NoButton,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, at, v->viewport()->mapToGlobal(at), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button), modifiers);
    QApplication::sendEvent(v->viewport(), &event);
}

// A window fed with polls from now on (the live view follows the clock).
void feed(TrendWd &w, int polls, quint8 alarms = 0)
{
    for (int i = 0; i < polls; ++i) {
        DevStatusCache c;
        c.alarmBits = alarms;
        c.ldTemp = qint16(200 + i);
        c.fanSpeed1 = 1800;
        c.fanSpeed2 = 1800; // the same speed: two lines on top of each other
        c.serialNum = QByteArray::fromHex("0102031807090042");
        c.reportedFields = DevField::All;
        w.addStatus(c);
        if (i == polls / 2)
            w.addLost();
        QTest::qWait(5);
    }
}

} // namespace

class TestTrendView : public QObject
{
    Q_OBJECT
private slots:
    void cursorFollowsTheMouse();
    void zoomPanAndLive_data();
    void zoomPanAndLive();
    void alarmIsABand();
    void exportsWhatIsKept();
};

void TestTrendView::cursorFollowsTheMouse()
{
    TrendWd w;
    w.resize(900, 760);
    w.show();
    feed(w, 60);
    QTest::qWait(50);
    w.redraw();
    mouse(view(w, "chartViewCurrent"), QEvent::MouseMove, pointAt(view(w, "chartViewCurrent"), 0.998));
    // All three plots show the cursor at that time, each with its own lines.
    QVERIFY2(w.shownCursorText(0).contains(QString::fromUtf8("激光温度")), qPrintable(w.shownCursorText(0)));
    QVERIFY(w.shownCursorText(1).contains(QString::fromUtf8("激光电流")));
    QVERIFY(w.shownCursorText(2).contains(QString::fromUtf8("风扇2  1800 rpm")));
    QVERIFY(!w.shownCursorText(2).contains(QString::fromUtf8("激光温度")));
    // The text block above the charts is gone from view.
    QVERIFY(!w.findChild<QWidget *>("labelCursor")->isVisible());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view(w, "chartViewCurrent")->viewport(), &leave);
    for (int plot = 0; plot < 3; ++plot)
        QVERIFY(w.shownCursorText(plot).isEmpty());
}

void TestTrendView::zoomPanAndLive_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("wheel") << "wheel";
    QTest::newRow("dragged span") << "span";
    QTest::newRow("pan by drag") << "pan";
}

void TestTrendView::zoomPanAndLive()
{
    QFETCH(QString, how);
    TrendWd w;
    w.resize(900, 760);
    w.show();
    feed(w, 60);
    w.redraw();
    QVERIFY(w.isLive());
    const qint64 from = w.viewFrom(), to = w.viewTo();
    QChartView *v = view(w, "chartViewTemp");
    if (how == QLatin1String("wheel")) {
        QWheelEvent wheel(QPointF(pointAt(v, 0.5)), QPointF(v->viewport()->mapToGlobal(pointAt(v, 0.5))), QPoint(),
                          QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(v->viewport(), &wheel);
        QVERIFY(w.viewTo() - w.viewFrom() < to - from);
    } else if (how == QLatin1String("span")) {
        mouse(v, QEvent::MouseButtonPress, pointAt(v, 0.2), Qt::LeftButton, Qt::ShiftModifier);
        mouse(v, QEvent::MouseMove, pointAt(v, 0.6), Qt::LeftButton, Qt::ShiftModifier);
        mouse(v, QEvent::MouseButtonRelease, pointAt(v, 0.6), Qt::LeftButton, Qt::ShiftModifier);
        QVERIFY(qAbs((w.viewTo() - w.viewFrom()) - (to - from) * 0.4) < (to - from) * 0.05);
    } else {
        mouse(v, QEvent::MouseButtonPress, pointAt(v, 0.6), Qt::LeftButton);
        mouse(v, QEvent::MouseMove, pointAt(v, 0.8), Qt::LeftButton);
        mouse(v, QEvent::MouseButtonRelease, pointAt(v, 0.8), Qt::LeftButton);
        // Dragged right: earlier times come into view, the span stays.
        QVERIFY(w.viewFrom() < from - (to - from) / 10);
        QVERIFY(qAbs((w.viewTo() - w.viewFrom()) - (to - from)) < 50);
    }
    QVERIFY(!w.isLive());
    const qint64 heldTo = w.viewTo();
    feed(w, 4);
    QCOMPARE(w.viewTo(), heldTo); // a held view stays where it is
    auto *live = w.findChild<QPushButton *>("btnLive");
    QVERIFY(live->isEnabled());
    QTest::mouseClick(live, Qt::LeftButton);
    QVERIFY(w.isLive());
    QVERIFY(!live->isEnabled());
    QCOMPARE(w.viewTo() - w.viewFrom(), to - from); // the chosen span again
}

void TestTrendView::alarmIsABand()
{
    TrendWd w;
    w.resize(900, 760);
    w.show();
    feed(w, 40, 0x02); // a fan alarm over the whole view
    w.redraw();
    QChart *fans = view(w, "chartViewFan")->chart();
    auto *axis = qobject_cast<QValueAxis *>(fans->axes(Qt::Vertical).first());
    for (QAbstractSeries *s : fans->series()) {
        if (auto *area = qobject_cast<QAreaSeries *>(s)) {
            double top = axis->min();
            for (const QPointF &p : area->upperSeries()->pointsVector())
                top = qMax(top, p.y());
            QVERIFY(top > axis->min());
            QVERIFY2(top - axis->min() < (axis->max() - axis->min()) * 0.1, "a band, not the whole plot");
        }
    }
}

void TestTrendView::exportsWhatIsKept()
{
    TrendWd w;
    w.resize(900, 760);
    w.show();
    feed(w, 30);
    QTemporaryDir dir;
    QString error;
    // Every poll since the start, whatever the view shows, in watch --csv columns.
    w.showSpan(w.viewTo() - 5000, w.viewTo());
    const QString csvPath = dir.filePath(w.exportName("csv"));
    QVERIFY2(csvPath.contains("66051-202407090066"), qPrintable(csvPath));
    QVERIFY2(w.exportCsv(csvPath, &error), qPrintable(error));
    QFile csv(csvPath);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), CsvWatchOutput().header());
    QCOMPARE(lines.size(), 1 + 31); // 30 samples and one lost poll
    QVERIFY(lines[1].contains("66051-202407090066"));
    const QString pngPath = dir.filePath(w.exportName("png"));
    QVERIFY2(w.exportPng(pngPath, &error), qPrintable(error));
    QVERIFY(!QImage(pngPath).isNull());
    QVERIFY(!w.exportCsv(dir.filePath("missing/x.csv"), &error));
    QVERIFY(!error.isEmpty());
}

QTEST_MAIN(TestTrendView)
#include "tst_trendview.moc"
