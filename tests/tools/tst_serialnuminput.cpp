// The serial number composer: the 8-byte record, the digit-only fields, OK
// and cancel.

#include "serialNumInput.h"

#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TestSerialNumInput : public QObject
{
    Q_OBJECT
private slots:
    void record_data();
    void record();
    void formProperties();
    void composeFromTypedFields();
    void emptyFieldsComposeZeros();
    void onlyDigitsWithinLength();
    void cancelEmitsNothingAndKeepsFields();
    void currentDateButton();
};

void TestSerialNumInput::record_data()
{
    QTest::addColumn<uint>("model");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<uint>("number");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("sample") << 1234567u << QDate(2024, 3, 5) << 12u << QByteArray::fromHex("12D687180305000C");
    QTest::newRow("zeros") << 0u << QDate(2000, 1, 1) << 0u << QByteArray::fromHex("0000000001010000");
    QTest::newRow("year 2255") << 1u << QDate(2255, 12, 31) << 9999u << QByteArray::fromHex("000001FF0C1F270F");
    QTest::newRow("year 2256 wraps") << 1u << QDate(2256, 1, 1) << 1u << QByteArray::fromHex("0000010001010001");
    QTest::newRow("only low bits") << 0x01ABCDEFu << QDate(2024, 7, 9) << 0x12345u << QByteArray::fromHex("ABCDEF1807092345");
}

void TestSerialNumInput::record()
{
    QFETCH(uint, model);
    QFETCH(QDate, date);
    QFETCH(uint, number);
    QFETCH(QByteArray, bytes);
    QCOMPARE(serialNumInput::composeRecord(model, date, number).toHex(), bytes.toHex());
}

void TestSerialNumInput::formProperties()
{
    serialNumInput d;
    QCOMPARE(d.windowTitle(), QString("设备序列号选择"));
    QCOMPARE(d.windowModality(), Qt::WindowModal);
    QCOMPARE(d.minimumSize(), QSize(310, 310));
    QCOMPARE(d.maximumSize(), QSize(310, 310));
    QCOMPARE(d.findChild<QDateEdit *>("dateEdit")->date(), QDate::currentDate());
    QCOMPARE(d.findChild<QDateEdit *>("dateEdit")->minimumDate(), QDate(2000, 1, 1));
    QCOMPARE(d.findChild<QPushButton *>("btnCurrentDate")->text(), QString("获取当前日期"));
}

void TestSerialNumInput::composeFromTypedFields()
{
    serialNumInput d;
    d.show();
    QSignalSpy spy(&d, &serialNumInput::sendSerialNum);
    QTest::keyClicks(d.findChild<QLineEdit *>("laserType"), "1234567");
    QTest::keyClicks(d.findChild<QLineEdit *>("laserDayNum"), "12");
    d.findChild<QDateEdit *>("dateEdit")->setDate(QDate(2024, 3, 5));
    QTest::mouseClick(d.findChild<QPushButton *>("btnOk"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toByteArray().toHex(), QByteArray("12d687180305000c"));
    QVERIFY(!d.isVisible());
    // The fields stay for the next showing.
    QCOMPARE(d.findChild<QLineEdit *>("laserType")->text(), QString("1234567"));
}

void TestSerialNumInput::emptyFieldsComposeZeros()
{
    serialNumInput d;
    d.show();
    d.findChild<QDateEdit *>("dateEdit")->setDate(QDate(2000, 1, 1));
    QSignalSpy spy(&d, &serialNumInput::sendSerialNum);
    QTest::mouseClick(d.findChild<QPushButton *>("btnOk"), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toByteArray().toHex(), QByteArray("0000000001010000"));
}

void TestSerialNumInput::onlyDigitsWithinLength()
{
    serialNumInput d;
    d.show();
    auto *model = d.findChild<QLineEdit *>("laserType");
    auto *number = d.findChild<QLineEdit *>("laserDayNum");
    QTest::keyClicks(model, "12a-b 3+4567890");
    QTest::keyClicks(number, "-9x 87654");
    QCOMPARE(model->text(), QString("1234567"));
    QCOMPARE(number->text(), QString("9876"));
}

void TestSerialNumInput::cancelEmitsNothingAndKeepsFields()
{
    serialNumInput d;
    d.show();
    QTest::keyClicks(d.findChild<QLineEdit *>("laserType"), "42");
    QSignalSpy spy(&d, &serialNumInput::sendSerialNum);
    QTest::mouseClick(d.findChild<QPushButton *>("btnCancel"), Qt::LeftButton);
    QCOMPARE(spy.count(), 0);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.findChild<QLineEdit *>("laserType")->text(), QString("42"));
}

void TestSerialNumInput::currentDateButton()
{
    serialNumInput d;
    auto *date = d.findChild<QDateEdit *>("dateEdit");
    date->setDate(QDate(2001, 2, 3));
    QTest::mouseClick(d.findChild<QPushButton *>("btnCurrentDate"), Qt::LeftButton);
    QCOMPARE(date->date(), QDate::currentDate());
}

QTEST_MAIN(TestSerialNumInput)
#include "tst_serialnuminput.moc"
