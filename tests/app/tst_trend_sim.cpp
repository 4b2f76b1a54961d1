// The trend window against the simulated laser (korvex-sim on a pty): its
// series take the values the main window shows, a lost reply and a closed
// port leave gaps, and the recording's rows are the polls the window drew.

#include "SimProcess.h"
#include "StatusRecord.h"
#include "TrendWd.h"
#include "WindowHarness.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

using namespace Harness;

namespace {

int validCount(const TrendStore &store)
{
    int n = 0;
    for (int i = 0; i < store.size(); ++i)
        n += store.at(i).valid ? 1 : 0;
    return n;
}

// Index of a gap with valid samples on both sides, or -1.
int innerGap(const TrendStore &store)
{
    for (int i = 1; i + 1 < store.size(); ++i) {
        if (!store.at(i).valid && store.at(i - 1).valid && store.at(i + 1).valid)
            return i;
    }
    return -1;
}

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

double fieldNumber(AdminWd *w, const char *name)
{
    return lineText(w, QString::fromLatin1(name)).section(QLatin1Char(' '), 0, 0).remove(QStringLiteral("℃")).toDouble();
}

QAction *trendAction(AdminWd *w)
{
    for (QAction *a : w->menuBar()->actions()) {
        if (!a->menu() || a->text() != QStringLiteral("其它功能"))
            continue;
        for (QAction *entry : a->menu()->actions()) {
            if (entry->text() == QStringLiteral("趋势图"))
                return entry;
        }
    }
    return nullptr;
}

} // namespace

class TestTrendSim : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void seriesTakeTheSimulatorsValues();
    void droppedReplyLeavesGap();
    void closedPortStopsSeriesAndReopenContinues();
    void vanishedDeviceEndsTheLine();
    void recordingMatchesWhatWasDrawn();
    void unwritableTargetGivesMessage();
    void recordButtonAsksForFile();

private:
    TrendWd *openTrend();
    AdminWd *w = nullptr;
};

void TestTrendSim::cleanup()
{
    destroyWindow(w);
}

TrendWd *TestTrendSim::openTrend()
{
    QAction *action = trendAction(w);
    if (!action || !action->isVisible())
        return nullptr;
    action->trigger();
    auto *trend = w->findChild<TrendWd *>();
    if (trend)
        trend->resize(900, 700);
    return trend && trend->isVisible() ? trend : nullptr;
}

void TestTrendSim::seriesTakeTheSimulatorsValues()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    auto *trend = w->findChild<TrendWd *>();
    QVERIFY(trend);
    QVERIFY(!trend->isVisible()); // created once, hidden
    QVERIFY(trendAction(w) && trendAction(w)->isVisible()); // user mode
    openPort(w, sim.ptyPath());
    QCOMPARE(openTrend(), trend);
    QTRY_VERIFY_WITH_TIMEOUT(validCount(trend->samples()) >= 4, 10000);

    // The newest sample is the reply the main window shows right now.
    const TrendSample &s = trend->samples().newest();
    QVERIFY(s.valid);
    QCOMPARE(double(s.values[TrendLaserTemp]), fieldNumber(w, "LdTemp"));
    QCOMPARE(double(s.values[TrendEnvTemp]), fieldNumber(w, "envTemperature"));
    QCOMPARE(double(s.values[TrendTempThreshold]), fieldNumber(w, "TempThreshold"));
    QCOMPARE(double(s.values[TrendFan2]), fieldNumber(w, "FanSpeed2"));
    QCOMPARE(qRound(s.values[TrendTecCurrent] * 100), qRound(fieldNumber(w, "tecCurrent") * 100));
    QCOMPARE(s.values[TrendLaserTemp], float(w->statusCache().ldTemp / 10.0f));
    // What is drawn ends at that sample.
    const auto lines = trend->drawnSegments(TrendFan1);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.last().last(), QPointF(double(s.msecs), double(s.values[TrendFan1])));
    QCOMPARE(trend->viewTo(), s.msecs);

    // Factory mode keeps the entry.
    w->changeUserMode(QStringLiteral("velmandro583"));
    QCOMPARE(w->currentUserMode(), 0);
    QVERIFY(trendAction(w)->isVisible());
}

void TestTrendSim::droppedReplyLeavesGap()
{
    SimProcess sim({"--drop", "0.3", "--seed", "7"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    TrendWd *trend = openTrend();
    QVERIFY(trend);
    QTRY_VERIFY_WITH_TIMEOUT(innerGap(trend->samples()) >= 0 && validCount(trend->samples()) >= 6, 30000);
    trend->redraw();
    const auto lines = trend->drawnSegments(TrendLaserTemp);
    QVERIFY(lines.size() >= 2);
    const TrendStore &store = trend->samples();
    for (int i = 0; i < store.size(); ++i) {
        if (!store.at(i).valid)
            QVERIFY2(!lineCrosses(lines, store.at(i).msecs), "a line crosses a lost reply");
    }
}

void TestTrendSim::closedPortStopsSeriesAndReopenContinues()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    TrendWd *trend = openTrend();
    QVERIFY(trend);
    QTRY_VERIFY_WITH_TIMEOUT(validCount(trend->samples()) >= 3, 10000);
    emit w->turnOffSpcomm();
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, "ComNameShow"), QString("连接断开"), 5000);
    QTest::qWait(100);
    const int valid = validCount(trend->samples());
    const qint64 lastBefore = trend->samples().newest().msecs;
    QVERIFY(!trend->samples().newest().valid); // the closed port ends the line
    QTest::qWait(1500);
    QCOMPARE(validCount(trend->samples()), valid);

    openPort(w, sim.ptyPath());
    QTRY_VERIFY_WITH_TIMEOUT(validCount(trend->samples()) >= valid + 3, 10000);
    QVERIFY(trend->samples().newest().msecs > lastBefore + 1400);
    // Same time axis, two lines with nothing drawn across the closed stretch.
    trend->redraw();
    const auto lines = trend->drawnSegments(TrendMcuTemp);
    QVERIFY(lines.size() >= 2);
    QVERIFY(!lineCrosses(lines, lastBefore + 700));
}

void TestTrendSim::vanishedDeviceEndsTheLine()
{
    auto *sim = new SimProcess;
    QVERIFY2(sim->isRunning(), qPrintable(sim->errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim->ptyPath());
    TrendWd *trend = openTrend();
    QVERIFY(trend);
    QTemporaryDir dir;
    QVERIFY(trend->startRecording(dir.filePath("gone.csv")));
    QTRY_VERIFY_WITH_TIMEOUT(validCount(trend->samples()) >= 3, 10000);
    delete sim; // the device goes away mid-poll
    QTRY_VERIFY_WITH_TIMEOUT(!trend->samples().newest().valid, 5000);
    const int valid = validCount(trend->samples());
    const int rows = trend->recordedRows();
    QTest::qWait(1500);
    QCOMPARE(validCount(trend->samples()), valid);
    // While the port is still open on this side, each poll is a lost row.
    if (lineText(w, "ComNameShow") != QStringLiteral("连接断开"))
        QVERIFY(trend->recordedRows() >= rows + 2);
    QVERIFY(trend->isRecording());
}

void TestTrendSim::recordingMatchesWhatWasDrawn()
{
    SimProcess sim({"--drop", "0.25", "--seed", "11"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    TrendWd *trend = openTrend();
    QVERIFY(trend);
    QTemporaryDir dir;
    const QString path = dir.filePath("poll.csv");
    QVERIFY(trend->startRecording(path));
    auto *state = trend->findChild<QLabel *>("labelRecordState");
    QVERIFY(state->text().contains("poll.csv"));
    QTRY_VERIFY_WITH_TIMEOUT(trend->recordedRows() >= 14 && innerGap(trend->samples()) >= 0, 30000);
    trend->stopRecording();
    const int rows = trend->recordedRows();
    QVERIFY2(state->text().contains(QString::number(rows)), qPrintable(state->text()));

    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    QCOMPARE(lines.takeLast(), QString()); // the last row ends with its line end
    QCOMPARE(lines.takeFirst(), StatusRecord::csvLine(StatusRecord::csvHeader()));
    QCOMPARE(lines.size(), rows);
    const QStringList header = StatusRecord::csvHeader();
    const int tempColumn = header.indexOf("laser_temp_c");
    const int fanColumn = header.indexOf("fan3_rpm");
    QVERIFY(tempColumn > 0 && fanColumn > 0);
    const TrendStore &store = trend->samples();
    int lost = 0;
    for (const QString &line : qAsConst(lines)) {
        const QStringList cells = line.split(',');
        QCOMPARE(cells.size(), header.size());
        const QDateTime time = QDateTime::fromString(cells[0], Qt::ISODateWithMs);
        QVERIFY2(time.isValid(), qPrintable(cells[0]));
        const qint64 ms = time.toMSecsSinceEpoch();
        const int at = store.lowerBound(ms + 1) - 1; // newest sample at or before the row
        QVERIFY(at >= 0);
        if (cells[tempColumn].isEmpty()) {
            ++lost;
            QVERIFY(!store.at(at).valid);
            for (int c = 1; c < cells.size(); ++c)
                QVERIFY(cells[c].isEmpty());
        } else {
            QCOMPARE(store.at(at).msecs, ms);
            QVERIFY(store.at(at).valid);
            QCOMPARE(cells[tempColumn].toDouble(), double(store.at(at).values[TrendLaserTemp]));
            QCOMPARE(cells[fanColumn].toDouble(), double(store.at(at).values[TrendFan3]));
        }
    }
    QVERIFY(lost >= 1);
}

void TestTrendSim::unwritableTargetGivesMessage()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    TrendWd *trend = openTrend();
    QVERIFY(trend);
    QVERIFY(!trend->startRecording(QStringLiteral("/proc/version"))); // read-only even for root
    QVERIFY(!trend->isRecording());
    auto *state = trend->findChild<QLabel *>("labelRecordState");
    QVERIFY2(state->text().contains("无法写入") && state->text().contains("/proc/version"), qPrintable(state->text()));
    QVERIFY(trend->findChild<QPushButton *>("btnStartRecord")->isEnabled());
    // The poll goes on.
    const int before = validCount(trend->samples());
    QTRY_VERIFY_WITH_TIMEOUT(validCount(trend->samples()) >= before + 2, 10000);
}

void TestTrendSim::recordButtonAsksForFile()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    TrendWd *trend = openTrend();
    QVERIFY(trend);
    QTemporaryDir dir;
    const QString path = dir.filePath("asked.csv");
    // Answers the file dialog once it is up.
    QTimer answer;
    answer.setInterval(50);
    connect(&answer, &QTimer::timeout, [&answer, path] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        answer.stop();
        // Typed into the name field, as an operator does.
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->setText(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    answer.start();
    QTest::mouseClick(trend->findChild<QPushButton *>("btnStartRecord"), Qt::LeftButton);
    QVERIFY(trend->isRecording());
    QVERIFY(trend->findChild<QPushButton *>("btnStopRecord")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(trend->recordedRows() >= 2, 10000);
    QTest::mouseClick(trend->findChild<QPushButton *>("btnStopRecord"), Qt::LeftButton);
    QVERIFY(!trend->isRecording());
    QVERIFY(QFile::exists(path));
}

QTEST_MAIN(TestTrendSim)
#include "tst_trend_sim.moc"
