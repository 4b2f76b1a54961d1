// The lamps differ by a symbol as well as by colour (a tick for green, a
// cross for red), live or faded, and are drawn at the screen's pixel ratio.

#include "LampPixmap.h"

#include <QImage>
#include <QtTest>

namespace {
// The symbol's pixels: those far darker than the lamp's colour.
QVector<bool> symbolMask(const QPixmap &lamp)
{
    const QImage image = lamp.toImage();
    const int base = qGray(image.pixel(2, 2));
    QVector<bool> mask;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            mask.append(qGray(image.pixel(x, y)) < base - 60);
    return mask;
}
} // namespace

class TestLamps : public QObject
{
    Q_OBJECT
private slots:
    void shapeTellsTheState_data()
    {
        QTest::addColumn<bool>("live");
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("live 1x") << true << 1.0;
        QTest::newRow("faded 1x") << false << 1.0;
        QTest::newRow("live 2x") << true << 2.0;
        QTest::newRow("faded 2x") << false << 2.0;
    }
    void shapeTellsTheState()
    {
        QFETCH(bool, live);
        QFETCH(qreal, ratio);
        const QPixmap green = lampPixmap(true, live, ratio);
        const QPixmap red = lampPixmap(false, live, ratio);
        QCOMPARE(green.size(), QSize(30, 30) * ratio);
        QCOMPARE(green.devicePixelRatio(), ratio);
        const QVector<bool> tick = symbolMask(green);
        const QVector<bool> cross = symbolMask(red);
        QVERIFY(tick.count(true) > 20 * ratio);
        QVERIFY(cross.count(true) > 20 * ratio);
        int differing = 0;
        for (int i = 0; i < tick.size(); ++i)
            differing += tick[i] != cross[i];
        // Seen in grey alone, the two lamps still differ in many pixels.
        QVERIFY2(differing > tick.count(true) / 2, qPrintable(QString::number(differing)));
    }
};

QTEST_MAIN(TestLamps)
#include "tst_lamps.moc"
