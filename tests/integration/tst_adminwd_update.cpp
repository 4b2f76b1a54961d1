// The update window hosted by the main window: created hidden, opened from
// the menu, the disconnect question while the device link holds the port,
// and a firmware update of the simulated laser from the window, after which
// the device link takes the port back.

#include "WindowHarness.h"
#include "SimProcess.h"
#include "UpdateTestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QTemporaryDir>

using namespace Harness;

class TestAdminWdUpdate : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { destroyWindow(w); }
    void createdHiddenAndOpenedFromMenu();
    void firmwareUpdateAfterTheDisconnectQuestion();

private:
    AdminWd *w = nullptr;
};

void TestAdminWdUpdate::createdHiddenAndOpenedFromMenu()
{
    w = new AdminWd;
    w->show();
    auto *update = w->findChild<UpdateWidget *>();
    QVERIFY(update);
    QCOMPARE(update->parentWidget(), static_cast<QWidget *>(w));
    QVERIFY(!update->isVisible());

    // No device port open: the menu shows the window without asking.
    // The menu entry is there in user mode, the mode the program starts in.
    auto *action = w->findChild<QAction *>("actionupdateDev");
    QCOMPARE(action->text(), QString::fromUtf8("升级设备"));
    QVERIFY(action->isVisible());
    MessageCatcher catcher;
    action->trigger();
    QVERIFY(update->isVisible());
    QCOMPARE(update->windowTitle(), QString::fromUtf8("设备升级"));
    QTest::qWait(100);
    QVERIFY(catcher.seen.isEmpty());
    // Closing hides it; it stays for the next time.
    QVERIFY(update->close());
    QVERIFY(!update->isVisible());
    QCOMPARE(w->findChild<UpdateWidget *>(), update);
}

void TestAdminWdUpdate::firmwareUpdateAfterTheDisconnectQuestion()
{
    QTemporaryDir work;
    QVERIFY(QDir().mkpath(work.filePath("device")));
    SimProcess sim({"--firmware-dir", work.filePath("device")});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    QByteArray image(30000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char((i * 7919) >> 3);
    const QString source = work.filePath("laser-3.0.bin");
    QFile f(source);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(image);
    f.close();

    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    QTRY_VERIFY_WITH_TIMEOUT(!lineText(w, "SoftVersion").isEmpty(), 5000);
    auto *update = w->findChild<UpdateWidget *>();
    QAction *action = w->findChild<QAction *>("actionupdateDev");

    // No: nothing happens, the link stays.
    BoxAnswer no;
    answerNextBox(&no, QMessageBox::No);
    action->trigger();
    QVERIFY(no.seen);
    QCOMPARE(no.title, QString::fromUtf8("通知"));
    QCOMPARE(no.text, QString::fromUtf8("继续操作会断开当前连接，确定？"));
    QCOMPARE(no.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(no.defaultButton, QMessageBox::Yes);
    QVERIFY(!update->isVisible());
    QTest::qWait(200);
    QCOMPARE(lineText(w, "ComNameShow"), sim.ptyPath());

    // Yes: the link lets go of the port and the window opens.
    BoxAnswer yes;
    answerNextBox(&yes, QMessageBox::Yes);
    action->trigger();
    QVERIFY(yes.seen);
    QVERIFY(update->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(logText(w).contains(sim.ptyPath() + QString::fromUtf8("关闭成功")), 5000);

    // The operator sends the image from the window, choosing it in the file dialog.
    MessageCatcher catcher;
    update->setExtraPorts({sim.ptyPath()});
    update->findChild<QComboBox *>("comBaudRate")->setCurrentText("115200");
    update->findChild<QPushButton *>("comButton")->click();
    QCOMPARE(update->findChild<QPushButton *>("comButton")->text(), QString::fromUtf8("关闭串口"));
    // The dialog lists the directory in the background; the file can be
    // selected once the listing is there, as an operator would see it.
    QString dialogTitle;
    QTimer picker;
    connect(&picker, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        dialogTitle = dialog->windowTitle();
        dialog->setDirectory(QFileInfo(source).path());
        // Typed into the dialog's name field, as an operator can.
        if (auto *name = dialog->findChild<QLineEdit *>("fileNameEdit"))
            name->setText(QFileInfo(source).fileName());
        if (dialog->selectedFiles() == QStringList{source}) {
            picker.stop();
            static_cast<QDialog *>(dialog)->accept(); // the dialog's open button
        }
    });
    picker.start(50);
    update->findChild<QPushButton *>("transmitBrowse")->click();
    QCOMPARE(dialogTitle, QString::fromUtf8("打开文件"));
    QCOMPARE(update->findChild<QLineEdit *>("transmitPath")->text(), source);
    update->findChild<QPushButton *>("transmitButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(catcher.seen.size(), 1, 30000);
    QCOMPARE(catcher.seen[0].title, QString::fromUtf8("成功"));
    QCOMPARE(catcher.seen[0].text, QString::fromUtf8("文件发送成功！"));
    QFile received(work.filePath("device/laser-3.0.bin"));
    QVERIFY(received.open(QIODevice::ReadOnly));
    QCOMPARE(received.readAll(), image);

    // The device link takes the port back and polls again.
    QVERIFY(update->close());
    w->findChild<QLineEdit *>("SoftVersion")->clear();
    openPort(w, sim.ptyPath());
    QTRY_VERIFY_WITH_TIMEOUT(!lineText(w, "SoftVersion").isEmpty(), 5000);
}

QTEST_MAIN(TestAdminWdUpdate)
#include "tst_adminwd_update.moc"
