// korvex-demo end to end: starts the simulator, shows live data, saves the
// picture of the main window (and, in factory mode, of the PID window beside
// it) and stops the simulator on the way out.

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TestDemo : public QObject
{
    Q_OBJECT
private slots:
    void screenshotOfLiveWindow();
    void factoryScreenshotShowsPidWindow();
    void trendScreenshotShowsTrendWindow();
};

void TestDemo::screenshotOfLiveWindow()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString shot = dir.filePath("main.png");
    QProcess demo;
    demo.start(qEnvironmentVariable("KORVEX_BUILD_DIR") + "/korvex-demo", {"--screenshot", shot});
    QVERIFY(demo.waitForStarted(10000));
    QVERIFY(demo.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(demo.readAllStandardOutput());
    QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
    QVERIFY2(demo.exitCode() == 0, qPrintable(out + demo.readAllStandardError()));

    const QImage image(shot);
    QVERIFY2(!image.isNull(), qPrintable(out));
    // The window at its form's 900 x 600, or larger where its texts need room.
    QVERIFY2(image.width() >= 900 && image.height() >= 600,
             qPrintable(QString("%1x%2").arg(image.width()).arg(image.height())));

    // The simulator's terminal disappears with the simulator.
    const auto m = QRegularExpression("simulated laser on (\\S+)").match(out);
    QVERIFY2(m.hasMatch(), qPrintable(out));
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(m.captured(1)), 5000);
}

void TestDemo::factoryScreenshotShowsPidWindow()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString shot = dir.filePath("factory.png");
    QProcess demo;
    demo.start(qEnvironmentVariable("KORVEX_BUILD_DIR") + "/korvex-demo", {"--screenshot", shot, "--factory"});
    QVERIFY(demo.waitForStarted(10000));
    QVERIFY(demo.waitForFinished(90000));
    const QString out = QString::fromLocal8Bit(demo.readAllStandardOutput());
    QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
    QVERIFY2(demo.exitCode() == 0, qPrintable(out + demo.readAllStandardError()));

    // Both windows side by side: wider than the main window alone, at least as tall.
    const QImage image(shot);
    QVERIFY2(!image.isNull(), qPrintable(out));
    QVERIFY2(image.width() > 900 + 200, qPrintable(QString::number(image.width())));
    QVERIFY(image.height() >= 600);

    // The PID window had filled with status lines before the picture was taken.
    const auto m = QRegularExpression("PID window shows (\\d+) status lines").match(out);
    QVERIFY2(m.hasMatch(), qPrintable(out));
    QVERIFY(m.captured(1).toInt() >= 8);
}

void TestDemo::trendScreenshotShowsTrendWindow()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString shot = dir.filePath("trend.png");
    QProcess demo;
    demo.start(qEnvironmentVariable("KORVEX_BUILD_DIR") + "/korvex-demo", {"--screenshot", shot, "--trend"});
    QVERIFY(demo.waitForStarted(10000));
    QVERIFY(demo.waitForFinished(90000));
    const QString out = QString::fromLocal8Bit(demo.readAllStandardOutput());
    QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
    QVERIFY2(demo.exitCode() == 0, qPrintable(out + demo.readAllStandardError()));
    const QImage image(shot);
    QVERIFY2(!image.isNull(), qPrintable(out));
    QVERIFY2(image.width() > 900 + 600, qPrintable(QString::number(image.width())));
    // Taken once the charts show a trend: enough polls and a bent curve.
    const auto m = QRegularExpression("holds (\\d+) samples, the laser temperature moved ([0-9.]+) C").match(out);
    QVERIFY2(m.hasMatch(), qPrintable(out));
    QVERIFY(m.captured(1).toInt() >= 40);
    QVERIFY(m.captured(2).toDouble() >= 3.0);
}

QTEST_GUILESS_MAIN(TestDemo)
#include "tst_demo.moc"
