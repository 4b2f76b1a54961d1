// The serial settings dialog: port list, the four emitted texts, the empty
// choice warning, cancel.

#include "CommSet.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TestCommSet : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void formAndWindowProperties();
    void extraPortsListedFirstOnEveryShowing();
    void defaultsEmitFourTexts();
    void chosenTextsTravelUnchanged();
    void dialogIsHiddenBeforeEmitting();
    void emptyChoiceWarnsAndEmitsNothing();
    void cancelEmitsNothingAndKeepsChoices();

private:
    static QComboBox *combo(CommSet &d, const char *name) { return d.findChild<QComboBox *>(name); }
    static QPushButton *button(CommSet &d, const char *name) { return d.findChild<QPushButton *>(name); }
};

void TestCommSet::initTestCase()
{
    qRegisterMetaType<QVector<QString>>("QVector<QString>");
}

void TestCommSet::formAndWindowProperties()
{
    CommSet d;
    QCOMPARE(d.windowTitle(), QString("串口设置"));
    QCOMPARE(d.windowModality(), Qt::WindowModal);
    QCOMPARE(d.maximumSize(), QSize(310, 310));
    const Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    QCOMPARE(d.windowFlags(), flags);
    QVERIFY(!(d.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(d.findChild<QLabel *>("label")->text(), QString("串口选择 "));
    QCOMPARE(button(d, "checkSerial")->text(), QString("检测可用串口"));
    QCOMPARE(button(d, "switchSerial")->text(), QString("确定"));
    QCOMPARE(button(d, "pushButton")->text(), QString("取消"));
    QStringList baud, stop, parity;
    for (int i = 0; i < combo(d, "baudRate")->count(); ++i) baud << combo(d, "baudRate")->itemText(i);
    for (int i = 0; i < combo(d, "stopBits")->count(); ++i) stop << combo(d, "stopBits")->itemText(i);
    for (int i = 0; i < combo(d, "paritySelect")->count(); ++i) parity << combo(d, "paritySelect")->itemText(i);
    QCOMPARE(baud, (QStringList{"19200", "9600"}));
    QCOMPARE(stop, (QStringList{"1", "1.5", "2"}));
    QCOMPARE(parity, (QStringList{"无", "奇校验", "偶校验"}));
}

void TestCommSet::extraPortsListedFirstOnEveryShowing()
{
    CommSet d;
    d.setExtraPorts({"/dev/pts/91", "/dev/pts/92"});
    d.show();
    QComboBox *names = combo(d, "serialName");
    QVERIFY(names->count() >= 2);
    QCOMPARE(names->itemText(0), QString("/dev/pts/91"));
    QCOMPARE(names->itemText(1), QString("/dev/pts/92"));
    QCOMPARE(names->currentIndex(), 0);
    const int listed = names->count();

    // A refresh rebuilds the list instead of adding to it, and the first
    // port becomes current again.
    names->setCurrentIndex(1);
    d.setExtraPorts({"/dev/pts/93"});
    QTest::mouseClick(button(d, "checkSerial"), Qt::LeftButton);
    QCOMPARE(names->count(), listed - 1);
    QCOMPARE(names->itemText(0), QString("/dev/pts/93"));
    QCOMPARE(names->currentIndex(), 0);

    d.hide();
    d.setExtraPorts({"/dev/pts/94"});
    d.show();
    QCOMPARE(names->itemText(0), QString("/dev/pts/94"));
    QCOMPARE(names->findText("/dev/pts/93"), -1);
}

void TestCommSet::defaultsEmitFourTexts()
{
    CommSet d;
    d.setExtraPorts({"/dev/pts/77"});
    d.show();
    QSignalSpy spy(&d, &CommSet::sendCommInfo);
    QTest::mouseClick(button(d, "switchSerial"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QVector<QString>>(), (QVector<QString>{"/dev/pts/77", "19200", "1", "无"}));
    QVERIFY(!d.isVisible());
}

void TestCommSet::chosenTextsTravelUnchanged()
{
    CommSet d;
    d.setExtraPorts({"/dev/pts/77", "/dev/pts/78"});
    d.show();
    combo(d, "serialName")->setCurrentIndex(1);
    combo(d, "baudRate")->setCurrentText("9600");
    combo(d, "stopBits")->setCurrentText("1.5");
    combo(d, "paritySelect")->setCurrentText("偶校验");
    QSignalSpy spy(&d, &CommSet::sendCommInfo);
    QTest::mouseClick(button(d, "switchSerial"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QVector<QString>>(), (QVector<QString>{"/dev/pts/78", "9600", "1.5", "偶校验"}));

    // Line settings persist to the next showing; the port is chosen anew.
    d.show();
    QCOMPARE(combo(d, "serialName")->currentText(), QString("/dev/pts/77"));
    QCOMPARE(combo(d, "baudRate")->currentText(), QString("9600"));
    QCOMPARE(combo(d, "stopBits")->currentText(), QString("1.5"));
    QCOMPARE(combo(d, "paritySelect")->currentText(), QString("偶校验"));
}

void TestCommSet::dialogIsHiddenBeforeEmitting()
{
    CommSet d;
    d.setExtraPorts({"/dev/pts/77"});
    d.show();
    int visibleAtEmission = -1;
    connect(&d, &CommSet::sendCommInfo, this, [&] { visibleAtEmission = d.isVisible(); });
    QTest::mouseClick(button(d, "switchSerial"), Qt::LeftButton);
    QCOMPARE(visibleAtEmission, 0);
}

void TestCommSet::emptyChoiceWarnsAndEmitsNothing()
{
    CommSet d;
    d.show();
    // The container has no serial ports of its own; make sure the list is empty.
    combo(d, "serialName")->clear();
    QSignalSpy spy(&d, &CommSet::sendCommInfo);
    QString title, text;
    QMessageBox::StandardButtons buttons;
    bool hadDefault = true;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        title = box->windowTitle();
        text = box->text();
        buttons = box->standardButtons();
        hadDefault = box->defaultButton() != nullptr;
        box->button(QMessageBox::Yes)->click();
    });
    QTest::mouseClick(button(d, "switchSerial"), Qt::LeftButton);
    QCOMPARE(title, QString("警告"));
    QCOMPARE(text, QString("串口名称不能为空"));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Yes));
    QVERIFY(!hadDefault);
    QCOMPARE(spy.count(), 0);
    QVERIFY(d.isVisible());
}

void TestCommSet::cancelEmitsNothingAndKeepsChoices()
{
    CommSet d;
    d.setExtraPorts({"/dev/pts/77"});
    d.show();
    combo(d, "baudRate")->setCurrentIndex(1);
    combo(d, "paritySelect")->setCurrentIndex(1);
    QSignalSpy spy(&d, &CommSet::sendCommInfo);
    QTest::mouseClick(button(d, "pushButton"), Qt::LeftButton);
    QVERIFY(!d.isVisible());
    d.show();
    d.close(); // the title-bar close button ends up here
    QVERIFY(!d.isVisible());
    QCOMPARE(spy.count(), 0);
    d.show();
    QCOMPARE(combo(d, "baudRate")->currentText(), QString("9600"));
    QCOMPARE(combo(d, "paritySelect")->currentText(), QString("奇校验"));
}

QTEST_MAIN(TestCommSet)
#include "tst_commset.moc"
