// The event list against korvex-sim: each kind of event the session can
// have, driven the way it happens, read back from the window "事件记录".

#include "EventLog.h"
#include "EventWd.h"
#include "SimProcess.h"
#include "UpdateWidget.h"
#include "WindowHarness.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSpinBox>
#include <QTemporaryDir>

using namespace Harness;

namespace {

// Closes every message box that comes up (the update window's outcome).
struct BoxCloser
{
    QTimer timer;
    BoxCloser()
    {
        QObject::connect(&timer, &QTimer::timeout, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->buttons().first()->click();
        });
        timer.start(50);
    }
};

// The rows the event window shows whose event column is `text`.
QVector<QStringList> rowsNamed(AdminWd *w, const QString &text)
{
    QVector<QStringList> found;
    for (const QStringList &row : w->findChild<EventWd *>()->shownRows()) {
        if (row.value(2) == text)
            found << row;
    }
    return found;
}

} // namespace

class TestEventsSim : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { destroyWindow(w); }
    void eachKindIsListed_data();
    void eachKindIsListed();
    void firmwareTransferIsListed();
    void filterSaveAndClear();

private:
    AdminWd *w = nullptr;
};

void TestEventsSim::eachKindIsListed_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QString>("act");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<bool>("span");

    QTest::newRow("port opened") << QStringList() << "" << "连接" << "打开串口" << "<port>" << "成功" << false;
    QTest::newRow("fan 2 alarm") << QStringList{"--fan-stuck", "2"} << "" << "报警" << "风扇2报警" << ""
                                 << "报警中" << true;
    QTest::newRow("command accepted") << QStringList() << "power" << "命令" << "设置激光功率" << "650" << "成功"
                                      << false;
    QTest::newRow("command refused") << QStringList{"--refuse", "0x0012"} << "power" << "命令" << "设置激光功率"
                                     << "650" << "失败，设备处理命令返回错误" << false;
    QTest::newRow("factory mode") << QStringList() << "factory" << "工厂模式" << "进入工厂模式" << "" << ""
                                  << false;
    QTest::newRow("unit stops answering") << QStringList{"--silent-after", "4"} << "" << "无应答" << "设备无应答"
                                          << "连续 11 次无应答" << "" << true;
    QTest::newRow("link lost") << QStringList() << "kill" << "连接" << "连接丢失" << "<port>" << "" << true;
    QTest::newRow("port closed") << QStringList() << "close" << "连接" << "关闭串口" << "<port>" << "成功" << false;
}

void TestEventsSim::eachKindIsListed()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QString, act);
    QFETCH(QString, kind);
    QFETCH(QString, event);
    QFETCH(QString, value);
    QFETCH(QString, outcome);
    QFETCH(bool, span);
    SimProcess sim(simArgs);
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    QTRY_VERIFY_WITH_TIMEOUT(!lineText(w, "SoftVersion").isEmpty(), 5000);
    if (act == QLatin1String("power")) {
        auto *box = w->findChild<QSpinBox *>("spinBox_PowerVal");
        box->setValue(650);
        QTest::keyClick(box, Qt::Key_Return);
    } else if (act == QLatin1String("factory")) {
        w->changeUserMode(QStringLiteral("velmandro583"));
    } else if (act == QLatin1String("kill")) {
        sim.process().kill();
    } else if (act == QLatin1String("close")) {
        emit w->turnOffSpcomm();
    }
    w->findChild<QAction *>("actionEvents")->trigger();
    QVERIFY(w->findChild<EventWd *>()->isVisible());
    QCOMPARE(w->findChild<EventWd *>()->windowTitle(), QString::fromUtf8("事件记录"));
    QTRY_COMPARE_WITH_TIMEOUT(rowsNamed(w, event).size(), 1, 8000);
    const QStringList row = rowsNamed(w, event).first();
    QCOMPARE(row[1], kind);
    QCOMPARE(row[3], value == QLatin1String("<port>") ? sim.ptyPath() : value);
    QCOMPARE(row[4], outcome);
    // A span shows that it is still going on: no end yet.
    QCOMPARE(row[6], span ? QString::fromUtf8("进行中") : QString());
    QVERIFY(QDateTime::fromString(row[0], "yyyy-MM-dd HH:mm:ss").isValid());
}

void TestEventsSim::firmwareTransferIsListed()
{
    QTemporaryDir work;
    QVERIFY(QDir().mkpath(work.filePath("device")));
    SimProcess sim({"--firmware-dir", work.filePath("device")});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    const QString source = work.filePath("laser-3.1.bin");
    QFile f(source);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(3000, 'k'));
    f.close();
    w = new AdminWd;
    w->show();
    auto *update = w->findChild<UpdateWidget *>();
    update->show();
    update->setExtraPorts({sim.ptyPath()});
    update->findChild<QComboBox *>("comBaudRate")->setCurrentText("115200");
    update->findChild<QLineEdit *>("transmitPath")->setText(source);
    update->findChild<QPushButton *>("comButton")->click();
    BoxCloser closer;
    update->findChild<QPushButton *>("transmitButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(rowsNamed(w, QString::fromUtf8("发送固件")).size(), 1, 30000);
    const QStringList row = rowsNamed(w, QString::fromUtf8("发送固件")).first();
    QCOMPARE(row[1], QString::fromUtf8("固件"));
    QCOMPARE(row[3], source);
    QCOMPARE(row[4], QString::fromUtf8("成功：Finished"));
    QVERIFY(QFile::exists(work.filePath("device/laser-3.1.bin")));
}

void TestEventsSim::filterSaveAndClear()
{
    SimProcess sim({"--fan-stuck", "1"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    QTRY_VERIFY_WITH_TIMEOUT(!lineText(w, "SoftVersion").isEmpty(), 5000);
    click(w, "btnTurnOnLd");
    QTRY_COMPARE_WITH_TIMEOUT(rowsNamed(w, QString::fromUtf8("开启光源")).size(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(rowsNamed(w, QString::fromUtf8("风扇1报警")).size(), 1, 15000);
    auto *events = w->findChild<EventWd *>();
    auto *filter = events->findChild<QComboBox *>("comboBoxEventKind");
    filter->setCurrentText(QString::fromUtf8("命令"));
    QVERIFY(!events->shownRows().isEmpty());
    for (const QStringList &row : events->shownRows())
        QCOMPARE(row[1], QString::fromUtf8("命令"));
    // The file holds every event, whatever the filter shows, with the
    // start time in full.
    QTemporaryDir dir;
    const QString path = dir.filePath("events.csv");
    QVERIFY(events->saveTo(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + w->eventLog()->events().size());
    QVERIFY(lines[0].startsWith("time,"));
    QVERIFY(lines.join('\n').contains(QString::fromUtf8("风扇1报警")));
    QVERIFY(lines.join('\n').contains(QString::fromUtf8("开启光源")));
    QVERIFY(QDateTime::fromString(lines[1].section(',', 0, 0), Qt::ISODateWithMs).isValid());

    events->findChild<QPushButton *>("btnClearEvents")->click();
    QVERIFY(events->shownRows().isEmpty());
    QVERIFY(w->eventLog()->events().isEmpty());
    // The log pane is not the event list: clearing one leaves the other.
    QVERIFY(logText(w).contains(QString::fromUtf8("开启光源")));
}

QTEST_MAIN(TestEventsSim)
#include "tst_events_sim.moc"
