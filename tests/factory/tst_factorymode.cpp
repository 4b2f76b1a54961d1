#include "DialogPasswordWd.h"
#include "PidAdjust.h"
#include "Protocol.h"
#include "SimProcess.h"
#include "TecDebug.h"
#include "WindowHarness.h"
#include "fan_debug.h"

#include <QAction>
#include <QRegularExpression>
#include <QSlider>

using namespace Harness;

namespace {

const char *const FactoryOnly[] = {
    "labelMaxDac", "spinBoxMaxDac", "btnSetMaxDacPlus", "btnSetMaxDacPlus_2", "btnSetMaxDac",
    "label_AutoCompensation", "spinBoxAutoCompensation", "btn_SaveAutoCompensation",
    "labelSerial", "devSerialNumValue", "btnShowSerialDialog", "btn_devSerialNumValue",
    "labelLdType", "comboBoxLdType", "btnSaveLdType", "label_Dac", "lineEdit_MaxDacShow",
    "label_StatAutoCompensation", "StatAutoCompensation"};
const char *const FactoryActions[] = {"actionPidDebug", "actiontecDebug", "actionfanDebug"};
const char *const EverydayActions[] = {"actionSerialSet", "actionupdateDev", "actionFactoryMode",
                                        "actionAbout"};

constexpr quint16 StatusWord = 0x00C1;
constexpr quint16 PidWord = 0xA111;

QAction *action(AdminWd *w, const char *name)
{
    return w->findChild<QAction *>(QLatin1String(name));
}

// Names of the factory-only widgets and actions that are visible.
QStringList visibleFactoryParts(AdminWd *w)
{
    QStringList shown;
    for (const char *name : FactoryOnly) {
        QWidget *c = w->centralWidget()->findChild<QWidget *>(QLatin1String(name));
        if (!c)
            shown << QString("missing %1").arg(name);
        else if (c->isVisible())
            shown << name;
    }
    for (const char *name : FactoryActions) {
        if (action(w, name)->isVisible())
            shown << name;
    }
    return shown;
}

QStringList allFactoryParts()
{
    QStringList all;
    for (const char *name : FactoryOnly)
        all << name;
    for (const char *name : FactoryActions)
        all << name;
    return all;
}

// Types a password into the dialog opened from the menu and confirms it.
// The dialog closes unless the password was wrong: then it stays open,
// emptied, and says so.
void enterPassword(AdminWd *w, const QString &text)
{
    action(w, "actionFactoryMode")->trigger();
    auto *dialog = w->findChild<DialogPasswordWd *>();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    auto *field = dialog->findChild<QLineEdit *>("lineEdit");
    QCOMPARE(field->echoMode(), QLineEdit::Password);
    QTest::keyClicks(field, text);
    QTest::mouseClick(dialog->findChild<QPushButton *>("btnConfirm"), Qt::LeftButton);
    const bool wrong = !text.isEmpty() && text != "velmandro583";
    QCOMPARE(dialog->isVisible(), wrong);
    QCOMPARE(dialog->findChild<QLabel *>("labelWrongPassword")->text(), wrong ? QString("密码错误") : QString());
    const QByteArray shots = qgetenv("KORVEX_SHOT_DIR");
    if (wrong && !shots.isEmpty())
        dialog->grab().save(QString::fromLocal8Bit(shots) + "/password-wrong.png");
    QVERIFY(field->text().isEmpty());
}

quint16 wordOf(const QByteArray &frame)
{
    return frame.size() >= 3 ? quint16((quint8(frame[1]) << 8) | quint8(frame[2])) : 0;
}

int countWord(const QList<QByteArray> &frames, quint16 word)
{
    int n = 0;
    for (const QByteArray &f : frames)
        n += wordOf(f) == word;
    return n;
}

// The frames that are neither status nor PID queries, as hex.
QList<QByteArray> writeFrames(const QList<QByteArray> &frames)
{
    QList<QByteArray> out;
    for (const QByteArray &f : frames) {
        if (wordOf(f) != StatusWord && wordOf(f) != PidWord)
            out << f.toHex();
    }
    return out;
}

QByteArray frame(quint16 word, const char *dataHex)
{
    Protocol codec;
    return codec.packFrame(word, QByteArray::fromHex(dataHex)).toHex();
}

// Waits (processing events) until the device has seen `more` further frames of a word.
bool waitForMore(const SimProcess &sim, quint16 word, int more, int timeoutMs = 10000)
{
    const int target = countWord(sim.receivedFrames(), word) + more;
    QElapsedTimer t;
    t.start();
    while (countWord(sim.receivedFrames(), word) < target) {
        if (t.elapsed() > timeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

} // namespace

class TestFactoryMode : public QObject
{
    Q_OBJECT
private slots:
    void startsInUserMode();
    void wrongPasswordsKeepUserMode();
    void exactPasswordUnlocksFactoryMode();
    void factoryWindowsDriveTheDevice();
    void pidQueryFollowsTheWindowAndThePort();

private:
    AdminWd *newWindow()
    {
        auto *w = new AdminWd;
        w->show();
        return w;
    }
};

void TestFactoryMode::startsInUserMode()
{
    AdminWd *w = newWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(visibleFactoryParts(w), QStringList());
    for (const char *name : EverydayActions)
        QVERIFY2(action(w, name)->isVisible(), name);
    // Everything else of the settings area is there.
    QVERIFY(w->centralWidget()->findChild<QWidget *>("btnTurnOnLd")->isVisible());
    QVERIFY(w->centralWidget()->findChild<QWidget *>("spinBox_PowerVal")->isVisible());
    // The factory windows exist but are not shown.
    QVERIFY(w->findChild<PidAdjust *>());
    QVERIFY(!w->findChild<PidAdjust *>()->isVisible());
    QVERIFY(!w->findChild<TecDebug *>()->isVisible());
    QVERIFY(!w->findChild<fan_debug *>()->isVisible());
    destroyWindow(w);
}

void TestFactoryMode::wrongPasswordsKeepUserMode()
{
    AdminWd *w = newWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    for (const QString &wrong : {QString("VELMANDRO583"), QString("Velmandro583"),
                                 QString(" velmandro583"), QString("velmandro583 "),
                                 QString("velmandro58"), QString("velmandro5833"), QString()}) {
        enterPassword(w, wrong);
        QCOMPARE(visibleFactoryParts(w), QStringList());
    }
    destroyWindow(w);
}

void TestFactoryMode::exactPasswordUnlocksFactoryMode()
{
    AdminWd *w = newWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    enterPassword(w, "velmandro583");
    QCOMPARE(visibleFactoryParts(w), allFactoryParts());
    for (const char *name : EverydayActions)
        QVERIFY2(action(w, name)->isVisible(), name);
    // Again, and a wrong one afterwards: factory mode stays.
    enterPassword(w, "velmandro583");
    enterPassword(w, "nonsense");
    QCOMPARE(visibleFactoryParts(w), allFactoryParts());

    // The three windows open from the menu, without any question.
    action(w, "actionPidDebug")->trigger();
    action(w, "actiontecDebug")->trigger();
    action(w, "actionfanDebug")->trigger();
    QVERIFY(w->findChild<PidAdjust *>()->isVisible());
    QVERIFY(w->findChild<TecDebug *>()->isVisible());
    QVERIFY(w->findChild<fan_debug *>()->isVisible());
    QVERIFY(!qobject_cast<QMessageBox *>(QApplication::activeModalWidget())); // no question asked
    destroyWindow(w);
}

void TestFactoryMode::factoryWindowsDriveTheDevice()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    AdminWd *w = newWindow();
    openPort(w, sim.ptyPath());
    enterPassword(w, "velmandro583");

    // PID window: the device's own coefficients arrive first.
    action(w, "actionPidDebug")->trigger();
    auto *pid = w->findChild<PidAdjust *>();
    auto *shown = pid->findChild<QTextEdit *>("textEditShowTemp");
    QTRY_VERIFY_WITH_TIMEOUT(shown->toPlainText().contains("1.5000,0.1000,0.0000,"), 10000);
    const QRegularExpression line("^-?\\d+,\\d+,   \\d+\\.\\d{4},\\d+\\.\\d{4},\\d+\\.\\d{4},$");
    const QString firstLine = shown->toPlainText().split('\n').first();
    QVERIFY2(line.match(firstLine).hasMatch(), qPrintable(firstLine));
    QVERIFY(!pid->findChild<QLineEdit *>("lineEditTempMinus")->text().isEmpty());

    // The fields start from the device's coefficients; the operator types over them.
    QStringList fields;
    for (const char *name : {"lineEditKP", "lineEditKI", "lineEditKD"})
        fields << pid->findChild<QLineEdit *>(name)->text();
    QCOMPARE(fields, QStringList({"1.5000", "0.1000", "0.0000"}));
    const QPair<const char *, const char *> typed[] = {{"lineEditKP", "2.5"}, {"lineEditKI", "0.25"},
                                                       {"lineEditKD", "0.0007"}};
    for (const auto &t : typed) {
        pid->findChild<QLineEdit *>(t.first)->selectAll();
        QTest::keyClicks(pid->findChild<QLineEdit *>(t.first), t.second);
    }
    QTest::mouseClick(pid->findChild<QPushButton *>("btnSetPid"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "设置PID系数成功"), 1, 10000);
    // The device now reports the new coefficients back.
    QTRY_VERIFY_WITH_TIMEOUT(shown->toPlainText().contains("2.5000,0.2500,0.0007,"), 10000);
    pid->close();

    // TEC window.
    action(w, "actiontecDebug")->trigger();
    auto *tec = w->findChild<TecDebug *>();
    QTest::mouseClick(tec->findChild<QPushButton *>("btnTurnOnTec"), Qt::LeftButton);
    tec->findChild<QSlider *>("tecPowerSet")->setValue(1200);
    QTest::mouseClick(tec->findChild<QPushButton *>("btnTurnOffTec"), Qt::LeftButton);
    QTest::mouseClick(tec->findChild<QPushButton *>("btnAutoTecOn"), Qt::LeftButton);
    QTest::mouseClick(tec->findChild<QPushButton *>("btnAtutoTecOff"), Qt::LeftButton);

    // Fan window.
    action(w, "actionfanDebug")->trigger();
    auto *fan = w->findChild<fan_debug *>();
    QTest::mouseClick(fan->findChild<QPushButton *>("btnAutoFanOn"), Qt::LeftButton);
    fan->findChild<QSlider *>("fanPwmSetSlider")->setValue(300);
    QTest::mouseClick(fan->findChild<QPushButton *>("btnAtutoFanOff"), Qt::LeftButton);

    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "关闭自动控制TEC成功"), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(logCount(w, "设置风扇调试命令成功"), 3, 10000);
    QCOMPARE(logCount(w, "开启TEC成功"), 1);
    QCOMPARE(logCount(w, "关闭TEC成功"), 1);
    QCOMPARE(logCount(w, "设置TEC功率成功"), 2);
    QCOMPARE(logCount(w, "开启自动控制TEC成功"), 1);
    QCOMPARE(logCount(w, "失败"), 0);

    const QList<QByteArray> expected{
        frame(0xA010, "000061A8" "000009C4" "00000007"),
        frame(0x00A4, "01"),
        frame(0x00A5, "04B0"),
        frame(0x00A4, "00"),
        frame(0x00A5, "0000"),
        frame(0x00A6, "01"),
        frame(0x00A6, "00"),
        frame(0x00A7, "01FFFF"),
        frame(0x00A7, "FF012C"),
        frame(0x00A7, "00FFFF"),
    };
    QCOMPARE(writeFrames(sim.receivedFrames()), expected);
    destroyWindow(w);
}

void TestFactoryMode::pidQueryFollowsTheWindowAndThePort()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    AdminWd *w = newWindow();
    enterPassword(w, "velmandro583");
    auto *pid = w->findChild<PidAdjust *>();

    // Port closed: nothing at all goes out, with or without the PID window.
    action(w, "actionPidDebug")->trigger();
    QTest::qWait(1300);
    QCOMPARE(sim.receivedFrames().size(), 0);
    pid->close();

    // Port open, PID window hidden: status queries only.
    openPort(w, sim.ptyPath());
    QVERIFY(waitForMore(sim, StatusWord, 3));
    QCOMPARE(countWord(sim.receivedFrames(), PidWord), 0);

    // PID window shown: a PID query follows every second status query.
    const int before = sim.receivedFrames().size();
    action(w, "actionPidDebug")->trigger();
    QVERIFY(waitForMore(sim, PidWord, 4));
    pid->close();
    QVERIFY(waitForMore(sim, StatusWord, 2)); // lets queries already queued drain
    const QList<QByteArray> all = sim.receivedFrames();
    QStringList pattern;
    for (int i = before; i < all.size(); ++i)
        pattern << (wordOf(all[i]) == PidWord ? "P" : "S");
    const QString seq = pattern.join(QString());
    QVERIFY2(QRegularExpression("^S{1,3}P(SSP){3,}S+$").match(seq).hasMatch(), qPrintable(seq));
    QVERIFY(countWord(all, StatusWord) + countWord(all, PidWord) == all.size());

    // Hidden again: the PID queries stop while the status poll goes on.
    const int pidQueries = countWord(sim.receivedFrames(), PidWord);
    QVERIFY(waitForMore(sim, StatusWord, 3));
    QCOMPARE(countWord(sim.receivedFrames(), PidWord), pidQueries);

    // Shown again, then the port closed: nothing more goes out.
    action(w, "actionPidDebug")->trigger();
    QVERIFY(waitForMore(sim, PidWord, 1));
    BoxAnswer box;
    answerNextBox(&box, QMessageBox::Yes);
    action(w, "actionSerialSet")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(logText(w).contains("关闭成功"), 10000);
    QVERIFY(box.seen);
    QTest::qWait(200); // a query emitted just before the close may still arrive
    const int afterClose = sim.receivedFrames().size();
    QTest::qWait(1300);
    QCOMPARE(sim.receivedFrames().size(), afterClose);
    QVERIFY(pid->isVisible());
    destroyWindow(w);
}

QTEST_MAIN(TestFactoryMode)
#include "tst_factorymode.moc"
