// "生产测试" in factory mode against korvex-sim: a short plan from a file
// run on the window's unit, its steps' states as the table shows them, the
// operator's prompt answered in its dialog, the verdict, the record folder
// with record.json and certificate.pdf; an abort mid-run, and closing the
// main window mid-run, leave the laser off, as the simulator then reports to
// korvexctl.

#include "ProductionTestWd.h"
#include "SimProcess.h"
#include "WindowHarness.h"

#include <QAction>
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace Harness;

namespace {

const char *const Steps = R"(name: window-check
timeout: 2m
poll: 250ms
steps:
  - name: identity
    check: {alarms: none, firmware: {at_least: "1.5"}}
  - name: laser on
    set: {laser: 1}
  - name: warm hold
    hold:
      for: %1
      limits: {laser_temp_c: {min: 15, max: %2}}
  - name: look at the beam
    prompt: Is the beam round?
)";

void writePlan(const QString &path, const QString &hold, const QString &maxTemp)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QString::fromLatin1(Steps).arg(hold, maxTemp).toUtf8());
}

// Clicks the named button of the prompt dialog whenever one comes up.
void answerPrompts(QObject *context, const QString &button)
{
    auto *timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, [button] {
        QWidget *box = QApplication::activeModalWidget();
        if (box && box->objectName() == QLatin1String("promptDialog"))
            box->findChild<QPushButton *>(button)->click();
    });
    timer->start(20);
}

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(20000))
        return QStringLiteral("<%1 did not finish>").arg(program);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestProdTestSim : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { destroyWindow(w); }
    void onlyInFactoryMode();
    void runToVerdict_data();
    void runToVerdict();
    void abortLeavesLaserOff_data();
    void abortLeavesLaserOff();

private:
    // The window in factory mode on the simulator, the plan loaded.
    ProductionTestWd *openTest(const QString &port, const QString &plan, const QString &records);
    AdminWd *w = nullptr;
};

ProductionTestWd *TestProdTestSim::openTest(const QString &port, const QString &plan, const QString &records)
{
    w = new AdminWd;
    w->show();
    openPort(w, port);
    w->changeUserMode("velmandro583");
    w->findChild<QAction *>("actionProductionTest")->trigger();
    auto *test = w->findChild<ProductionTestWd *>();
    if (!test || !test->isVisible())
        return nullptr;
    test->findChild<QLineEdit *>("lineEditRecords")->setText(records);
    test->findChild<QLineEdit *>("lineEditOperator")->setText(QString::fromUtf8("王五"));
    return test->loadPlan(plan) ? test : nullptr;
}

void TestProdTestSim::onlyInFactoryMode()
{
    w = new AdminWd;
    auto *action = w->findChild<QAction *>("actionProductionTest");
    QVERIFY(action);
    QVERIFY(!w->findChild<QMenu *>("menu_2")->actions().contains(action));
    w->changeUserMode("velmandro583");
    const QList<QAction *> entries = w->findChild<QMenu *>("menu_2")->actions();
    QCOMPARE(entries.indexOf(action), entries.indexOf(w->findChild<QAction *>("actionfanDebug")) + 1);
    QCOMPARE(action->text(), QString::fromUtf8("生产测试"));
    action->trigger();
    QVERIFY(w->findChild<ProductionTestWd *>()->isVisible());
    w->leaveFactoryMode();
    QVERIFY(!w->findChild<QMenu *>("menu_2")->actions().contains(action));
    QVERIFY(!w->findChild<ProductionTestWd *>()->isVisible());
}

void TestProdTestSim::runToVerdict_data()
{
    QTest::addColumn<QString>("maxTemp");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QStringList>("states"); // each step's last state
    QTest::newRow("pass") << "40" << "btnPromptPass" << "PASS"
                          << QStringList{"通过", "通过", "通过", "通过"};
    QTest::newRow("operator fails") << "40" << "btnPromptFail" << "FAIL"
                                    << QStringList{"通过", "通过", "通过", "不合格"};
    QTest::newRow("limit fails") << "20" << "btnPromptPass" << "FAIL"
                                 << QStringList{"通过", "通过", "不合格", "未执行"};
}

void TestProdTestSim::runToVerdict()
{
    QFETCH(QString, maxTemp);
    QFETCH(QString, answer);
    QFETCH(QString, verdict);
    QFETCH(QStringList, states);
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    QTemporaryDir dir;
    writePlan(dir.filePath("plan.yaml"), "2s", maxTemp);
    ProductionTestWd *test = openTest(sim.ptyPath(), dir.filePath("plan.yaml"), dir.filePath("records"));
    QVERIFY(test);
    auto *table = test->findChild<QTableWidget *>("tableSteps");
    QCOMPARE(table->rowCount(), 4);
    QCOMPARE(table->item(2, 1)->text(), QString::fromUtf8("等待"));
    // Every state each step's cell showed, in order.
    QVector<QStringList> seen(table->rowCount());
    connect(table, &QTableWidget::itemChanged, test, [&seen](QTableWidgetItem *item) {
        if (item->column() == 1 && (seen[item->row()].isEmpty() || seen[item->row()].last() != item->text()))
            seen[item->row()].append(item->text());
    });
    answerPrompts(test, answer);
    QSignalSpy done(test, &ProductionTestWd::finished);
    // A scanner's number ends with Enter, which starts the test.
    QTest::keyClicks(test->findChild<QLineEdit *>("lineEditSerial"), "25001-20240709-0001");
    QTest::keyClick(test->findChild<QLineEdit *>("lineEditSerial"), Qt::Key_Return);
    QVERIFY(done.wait(60000));

    for (int i = 0; i < states.size(); ++i) {
        QCOMPARE(table->item(i, 1)->text(), QString::fromUtf8(states[i].toUtf8()));
        if (states[i] != QString::fromUtf8("未执行"))
            QVERIFY2(seen[i].contains(QString::fromUtf8("进行中")), qPrintable(seen[i].join(' ')));
    }
    QVERIFY(table->item(2, 2)->text().contains("laser_temp_c"));
    QVERIFY(test->findChild<QLabel *>("labelVerdict")->text().startsWith(verdict));
    QVERIFY(test->findChild<QPushButton *>("btnOpenRecord")->isEnabled());

    const QString folder = test->recordFolder();
    QFile record(folder + "/record.json");
    QVERIFY2(record.open(QIODevice::ReadOnly), qPrintable(folder));
    const QJsonObject r = QJsonDocument::fromJson(record.readAll()).object();
    QCOMPARE(r["outcome"].toString().toUpper(), verdict);
    QCOMPARE(r["operator"].toString(), QString::fromUtf8("王五"));
    QVERIFY(r["end_state"].toObject()["confirmed_by_status"].toBool());
    const QString text = run("pdftotext", {folder + "/certificate.pdf", "-"});
    for (const QString &piece : {QStringLiteral("25001-202407090001"), QStringLiteral("warm hold"),
                                 QStringLiteral("look at the beam"), verdict, QString::fromUtf8("王五")})
        QVERIFY2(text.contains(piece), qPrintable(piece + " missing from:\n" + text));
}

void TestProdTestSim::abortLeavesLaserOff_data()
{
    QTest::addColumn<bool>("closeWindow");
    QTest::newRow("abort button") << false;
    QTest::newRow("main window closed") << true;
}

void TestProdTestSim::abortLeavesLaserOff()
{
    QFETCH(bool, closeWindow);
    QTemporaryDir dir;
    const QString link = dir.filePath("unit");
    SimProcess sim({"--link", link});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    writePlan(dir.filePath("plan.yaml"), "5m", "40");
    ProductionTestWd *test = openTest(link, dir.filePath("plan.yaml"), dir.filePath("records"));
    QVERIFY(test);
    QSignalSpy done(test, &ProductionTestWd::finished);
    QTest::mouseClick(test->findChild<QPushButton *>("btnStartTest"), Qt::LeftButton);
    auto *table = test->findChild<QTableWidget *>("tableSteps");
    QTRY_COMPARE_WITH_TIMEOUT(table->item(2, 1)->text(), QString::fromUtf8("进行中"), 20000);
    // The hold shows the live temperature against its limit meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(table->item(2, 2)->text().startsWith("laser_temp_c = "), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(w->statusCache().ldStatBits & 0x01, 10000);
    if (closeWindow) {
        // The unit is made safe before the window lets its executor go.
        destroyWindow(w);
        QDirIterator it(dir.filePath("records"), {"record.json"}, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY2(it.hasNext(), "the run's record was written");
        QFile record(it.next());
        QVERIFY(record.open(QIODevice::ReadOnly));
        const QJsonObject r = QJsonDocument::fromJson(record.readAll()).object();
        QCOMPARE(r["outcome"].toString(), QString("aborted"));
        QVERIFY(r["end_state"].toObject()["confirmed_by_status"].toBool());
    } else {
        QTest::mouseClick(test->findChild<QPushButton *>("btnAbortTest"), Qt::LeftButton);
        QVERIFY(done.wait(30000));
        QCOMPARE(done.first().first().toString(), QString("aborted"));
        QCOMPARE(table->item(2, 1)->text(), QString::fromUtf8("已中止"));
        QVERIFY(QFile::exists(test->recordFolder() + "/certificate.pdf"));
        // The window lets the port go.
        destroyWindow(w);
    }
    // The simulator itself says the laser is off.
    const QJsonObject status = QJsonDocument::fromJson(
        run(qEnvironmentVariable("KORVEX_BUILD_DIR") + "/korvexctl", {"status", "--json", "--port", link}).toUtf8()).object();
    QVERIFY2(status.contains("laser_on"), "korvexctl status --json read the simulator");
    QCOMPARE(status["laser_on"].toBool(), false);
}

QTEST_MAIN(TestProdTestSim)
#include "tst_prodtest_sim.moc"
