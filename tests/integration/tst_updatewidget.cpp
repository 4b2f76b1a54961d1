// The update window offscreen: its form, its port and transfer layouts, and
// its messages, with real ports (pseudo-terminals) and real peers.

#include "PtyPair.h"
#include "UpdateTestSupport.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QSerialPort>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TestUpdateWidget : public QObject
{
    Q_OBJECT

private slots:
    void formAsBuilt();
    void openFailureLeavesPortLayout();
    void portAndPortOpenLayouts();
    void browseAnswersSetPathsAndButtons();
    void desktopChoosers();
    void cancelDuringSendReturnsToPortLayout();
    void unreadableFileKeepsPortOpenLayout();
    void transferThatCannotStartKeepsLayout();
    void closingDuringSendCancelsIt();

private:
    struct Buttons {
        QPushButton *com, *tBrowse, *tSend, *rBrowse, *rRecv;
        QComboBox *port, *baud;
    };
    static Buttons buttons(QWidget *w)
    {
        return {w->findChild<QPushButton *>("comButton"),      w->findChild<QPushButton *>("transmitBrowse"),
                w->findChild<QPushButton *>("transmitButton"), w->findChild<QPushButton *>("receiveBrowse"),
                w->findChild<QPushButton *>("receiveButton"),  w->findChild<QComboBox *>("comPort"),
                w->findChild<QComboBox *>("comBaudRate")};
    }
    // Which of the seven controls are enabled, in the order of Buttons.
    static QString enabledMap(QWidget *w)
    {
        const Buttons b = buttons(w);
        QString s;
        for (QWidget *x : {(QWidget *)b.com, (QWidget *)b.tBrowse, (QWidget *)b.tSend, (QWidget *)b.rBrowse,
                           (QWidget *)b.rRecv, (QWidget *)b.port, (QWidget *)b.baud})
            s += x->isEnabled() ? '1' : '0';
        return s;
    }
    static void openOn(ScriptedUpdateWidget &w, const QString &port)
    {
        w.setExtraPorts({port});
        QCOMPARE(buttons(&w).port->currentText(), port);
        buttons(&w).com->click();
        QCOMPARE(buttons(&w).com->text(), QString::fromUtf8("关闭串口"));
    }
    static void chooseFile(ScriptedUpdateWidget &w, const QString &path)
    {
        w.nextFile = path;
        buttons(&w).tBrowse->click();
    }
    static QByteArray cancelBurst() { return QByteArray(5, '\x18'); }
};

void TestUpdateWidget::formAsBuilt()
{
    UpdateWidget w;
    QCOMPARE(w.objectName(), QStringLiteral("UpdateWidget"));
    QCOMPARE(w.windowTitle(), QString::fromUtf8("设备升级"));
    QCOMPARE(w.minimumSize(), QSize(501, 332));
    QCOMPARE(w.maximumSize(), QSize(501, 332));
    QCOMPARE(w.windowModality(), Qt::WindowModal);
    const Qt::WindowFlags flags = w.windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowTitleHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint)));

    const Buttons b = buttons(&w);
    QStringList rates;
    for (int i = 0; i < b.baud->count(); ++i)
        rates << b.baud->itemText(i);
    QCOMPARE(rates, QStringList({"921600", "460800", "230400", "115200", "57600", "38400", "19200", "9600", "4800",
                                 "2400", "1200"}));
    QCOMPARE(b.baud->currentText(), QStringLiteral("19200"));
    QCOMPARE(b.baud->maxVisibleItems(), 12);
    QCOMPARE(b.port->maxVisibleItems(), 12);

    QCOMPARE(b.com->text(), QString::fromUtf8("打开"));
    QCOMPARE(b.tSend->text(), QString::fromUtf8("发送"));
    QCOMPARE(b.rRecv->text(), QString::fromUtf8("接收"));
    QCOMPARE(b.tBrowse->text(), QString::fromUtf8("浏览..."));
    QVERIFY(w.findChild<QLineEdit *>("transmitPath")->isReadOnly());
    QVERIFY(w.findChild<QLineEdit *>("receivePath")->isReadOnly());
    QCOMPARE(w.findChild<QProgressBar *>("transmitProgress")->maximum(), 100);
    QCOMPARE(w.findChild<QProgressBar *>("receiveProgress")->value(), 0);
    QCOMPARE(enabledMap(&w), QStringLiteral("1000011")); // port layout

    // Ports offered by the caller come first; the system's follow.
    const int systemCount = b.port->count();
    w.setExtraPorts({"/dev/pts/test-a", "/dev/pts/test-b"});
    QCOMPARE(b.port->count(), systemCount + 2);
    QCOMPARE(b.port->itemText(0), QStringLiteral("/dev/pts/test-a"));
    QCOMPARE(b.port->itemText(1), QStringLiteral("/dev/pts/test-b"));
}

void TestUpdateWidget::openFailureLeavesPortLayout()
{
    MessageCatcher catcher;
    ScriptedUpdateWidget w;
    w.setExtraPorts({"/dev/korvex-no-such-port"});
    buttons(&w).com->click();
    QTRY_COMPARE(catcher.seen.size(), 1);
    QCOMPARE(catcher.seen[0].title, QString::fromUtf8("串口打开失败"));
    QCOMPARE(catcher.seen[0].text, QString::fromUtf8("请检查串口是否已被占用！"));
    QCOMPARE(catcher.seen[0].icon, QMessageBox::Warning);
    QCOMPARE(catcher.seen[0].buttons, QStringList{QString::fromUtf8("关闭")});
    QCOMPARE(buttons(&w).com->text(), QString::fromUtf8("打开"));
    QCOMPARE(enabledMap(&w), QStringLiteral("1000011"));
}

void TestUpdateWidget::portAndPortOpenLayouts()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    ScriptedUpdateWidget w;
    openOn(w, pty.slavePath());
    // Port open, both paths empty: only the port button and the two browse buttons.
    QCOMPARE(enabledMap(&w), QStringLiteral("1101000"));

    // Closing releases the port for someone else.
    buttons(&w).com->click();
    QCOMPARE(buttons(&w).com->text(), QString::fromUtf8("打开串口"));
    QCOMPARE(enabledMap(&w), QStringLiteral("1000011"));
    QSerialPort other(pty.slavePath());
    QVERIFY2(other.open(QIODevice::ReadWrite), "the window did not release the port");
    other.close();

    // With paths chosen, opening enables their transfer buttons too.
    QTemporaryDir dir;
    chooseFile(w, dir.filePath("fw.bin")); // browse is disabled: nothing happens
    QVERIFY(w.findChild<QLineEdit *>("transmitPath")->text().isEmpty());
    openOn(w, pty.slavePath());
    chooseFile(w, dir.filePath("fw.bin"));
    w.nextDirectory = dir.path();
    buttons(&w).rBrowse->click();
    QCOMPARE(enabledMap(&w), QStringLiteral("1111100"));
    buttons(&w).com->click();
    QCOMPARE(enabledMap(&w), QStringLiteral("1000011"));
    buttons(&w).com->click();
    QCOMPARE(enabledMap(&w), QStringLiteral("1111100"));
}

void TestUpdateWidget::browseAnswersSetPathsAndButtons()
{
    PtyPair pty;
    ScriptedUpdateWidget w;
    openOn(w, pty.slavePath());
    auto *tPath = w.findChild<QLineEdit *>("transmitPath");
    auto *rPath = w.findChild<QLineEdit *>("receivePath");

    chooseFile(w, "/tmp/firmware.bin");
    QCOMPARE(tPath->text(), QStringLiteral("/tmp/firmware.bin"));
    QVERIFY(buttons(&w).tSend->isEnabled());
    chooseFile(w, QString()); // the dialog was cancelled
    QVERIFY(tPath->text().isEmpty());
    QVERIFY(!buttons(&w).tSend->isEnabled());

    w.nextDirectory = "/tmp";
    buttons(&w).rBrowse->click();
    QCOMPARE(rPath->text(), QStringLiteral("/tmp"));
    QVERIFY(buttons(&w).rRecv->isEnabled());
    w.nextDirectory.clear();
    buttons(&w).rBrowse->click();
    QVERIFY(rPath->text().isEmpty());
    QVERIFY(!buttons(&w).rRecv->isEnabled());
}

// The real choosers: the file dialog cancelled, the directory dialog answered.
void TestUpdateWidget::desktopChoosers()
{
    PtyPair pty;
    QTemporaryDir dir;
    UpdateWidget w;
    w.setExtraPorts({pty.slavePath()});
    buttons(&w).com->click();
    auto *tPath = w.findChild<QLineEdit *>("transmitPath");
    auto *rPath = w.findChild<QLineEdit *>("receivePath");
    tPath->setText("/tmp/old-choice.bin");

    QString title;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QStringList filters;
    QTimer::singleShot(100, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        title = dialog->windowTitle();
        mode = dialog->fileMode();
        filters = dialog->nameFilters();
        dialog->reject();
    });
    buttons(&w).tBrowse->click();
    QCOMPARE(title, QString::fromUtf8("打开文件"));
    QCOMPARE(mode, QFileDialog::ExistingFile);
    QCOMPARE(filters, QStringList{QString::fromUtf8("任意文件 (*.*)")});
    QVERIFY(tPath->text().isEmpty());
    QVERIFY(!buttons(&w).tSend->isEnabled());

    // The directory is typed into the dialog's name field and confirmed.
    bool dirsOnly = false;
    QTimer picker;
    connect(&picker, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        picker.stop();
        title = dialog->windowTitle();
        mode = dialog->fileMode();
        dirsOnly = dialog->testOption(QFileDialog::ShowDirsOnly);
        dialog->setDirectory(QFileInfo(dir.path()).path());
        if (auto *name = dialog->findChild<QLineEdit *>("fileNameEdit"))
            name->setText(QFileInfo(dir.path()).fileName());
        static_cast<QDialog *>(dialog)->accept();
    });
    picker.start(50);
    buttons(&w).rBrowse->click();
    QCOMPARE(title, QString::fromUtf8("选择目录"));
    QVERIFY(dirsOnly);
    QVERIFY(mode != QFileDialog::ExistingFile && mode != QFileDialog::AnyFile);
    QCOMPARE(QFileInfo(rPath->text()).canonicalFilePath(), QFileInfo(dir.path()).canonicalFilePath());
    QVERIFY(buttons(&w).rRecv->isEnabled());
}

void TestUpdateWidget::cancelDuringSendReturnsToPortLayout()
{
    PtyPair pty; // nobody answers: the send waits in its handshake
    QTemporaryDir dir;
    QFile f(dir.filePath("fw.bin"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(3000, 'x'));
    f.close();

    MessageCatcher catcher;
    ScriptedUpdateWidget w;
    openOn(w, pty.slavePath());
    chooseFile(w, f.fileName());
    w.findChild<QProgressBar *>("transmitProgress")->setValue(40);
    buttons(&w).tSend->click();
    QCOMPARE(buttons(&w).tSend->text(), QString::fromUtf8("取消"));
    QCOMPARE(w.findChild<QProgressBar *>("transmitProgress")->value(), 0);
    QCOMPARE(enabledMap(&w), QStringLiteral("0010000")); // only "取消"
    QTest::qWait(100);
    QVERIFY(catcher.seen.isEmpty());

    QElapsedTimer t;
    t.start();
    buttons(&w).tSend->click();
    QTRY_COMPARE(catcher.seen.size(), 1);
    QVERIFY(t.elapsed() >= 90); // the end is reported after the port is closed
    QCOMPARE(catcher.seen[0].title, QString::fromUtf8("失败"));
    QCOMPARE(catcher.seen[0].text, QString::fromUtf8("文件发送失败！"));
    QCOMPARE(catcher.seen[0].buttons, QStringList{QString::fromUtf8("关闭")});
    QCOMPARE(buttons(&w).com->text(), QString::fromUtf8("打开串口"));
    QCOMPARE(buttons(&w).tSend->text(), QString::fromUtf8("发送"));
    QCOMPARE(enabledMap(&w), QStringLiteral("1000011"));
    QVERIFY(pty.read(1000).contains(cancelBurst())); // the device was told
}

void TestUpdateWidget::unreadableFileKeepsPortOpenLayout()
{
    PtyPair pty;
    QTemporaryDir dir;
    MessageCatcher catcher;
    ScriptedUpdateWidget w;
    openOn(w, pty.slavePath());
    chooseFile(w, dir.filePath("gone.bin")); // chosen, then removed
    w.nextDirectory = dir.path();
    buttons(&w).rBrowse->click();
    buttons(&w).tSend->click();
    QCOMPARE(buttons(&w).tSend->text(), QString::fromUtf8("取消"));
    // The device asks for the header; only now is the file opened.
    QTest::qWait(50);
    QVERIFY(pty.write("C"));
    QTRY_COMPARE(catcher.seen.size(), 1);
    QCOMPARE(catcher.seen[0].title, QString::fromUtf8("失败"));
    QCOMPARE(catcher.seen[0].text, QString::fromUtf8("文件发送失败！"));
    QCOMPARE(buttons(&w).com->text(), QString::fromUtf8("关闭串口"));
    QCOMPARE(buttons(&w).tSend->text(), QString::fromUtf8("发送"));
    QCOMPARE(enabledMap(&w), QStringLiteral("1111100"));
    QVERIFY(pty.read(1000).contains(cancelBurst()));
    buttons(&w).com->click();
    QCOMPARE(enabledMap(&w), QStringLiteral("1000011"));
}

void TestUpdateWidget::transferThatCannotStartKeepsLayout()
{
    // The port vanishes between the check and the transfer.
    auto *pty = new PtyPair;
    const QString path = pty->slavePath();
    MessageCatcher catcher;
    ScriptedUpdateWidget w;
    openOn(w, path);
    chooseFile(w, "/tmp/fw.bin");
    w.nextDirectory = "/tmp";
    buttons(&w).rBrowse->click();
    delete pty;
    buttons(&w).tSend->click();
    QTRY_COMPARE(catcher.seen.size(), 1);
    QCOMPARE(catcher.seen[0].text, QString::fromUtf8("文件发送失败！"));
    QCOMPARE(buttons(&w).tSend->text(), QString::fromUtf8("发送"));
    QCOMPARE(enabledMap(&w), QStringLiteral("1111100"));
    buttons(&w).rRecv->click();
    QTRY_COMPARE(catcher.seen.size(), 2);
    QCOMPARE(catcher.seen[1].title, QString::fromUtf8("失败"));
    QCOMPARE(catcher.seen[1].text, QString::fromUtf8("文件接收失败！"));
    QCOMPARE(buttons(&w).rRecv->text(), QString::fromUtf8("接收"));
    QCOMPARE(enabledMap(&w), QStringLiteral("1111100"));
}

void TestUpdateWidget::closingDuringSendCancelsIt()
{
    PtyPair pty;
    QTemporaryDir dir;
    QFile f(dir.filePath("fw.bin"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(100, 'x'));
    f.close();
    MessageCatcher catcher;
    ScriptedUpdateWidget w;
    w.show();
    openOn(w, pty.slavePath());
    chooseFile(w, f.fileName());
    buttons(&w).tSend->click();
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QTRY_COMPARE(catcher.seen.size(), 1);
    QCOMPARE(catcher.seen[0].text, QString::fromUtf8("文件发送失败！"));
    QVERIFY(pty.read(1000).contains(cancelBurst()));
    // Shown again, the window is back in its port layout.
    w.show();
    QCOMPARE(buttons(&w).com->text(), QString::fromUtf8("打开串口"));
    QCOMPARE(enabledMap(&w), QStringLiteral("1000011"));
}

QTEST_MAIN(TestUpdateWidget)
#include "tst_updatewidget.moc"
