// The typed line settings: the serial settings dialog's four texts become
// name, rate, stop bits and parity at the executor's boundary, and nothing
// else in the link reads a parity word.

#include "LineSettings.h"

#include <QtTest>

using Stop = LineSettings::StopBits;
using Parity = LineSettings::Parity;

Q_DECLARE_METATYPE(LineSettings::StopBits)
Q_DECLARE_METATYPE(LineSettings::Parity)

class TestLineSettings : public QObject
{
    Q_OBJECT
private slots:
    void fromDialogTexts_data()
    {
        QTest::addColumn<QVector<QString>>("texts");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("baud");
        QTest::addColumn<Stop>("stop");
        QTest::addColumn<Parity>("parity");
        QTest::addColumn<QString>("shortText");
        QTest::newRow("dialog defaults") << QVector<QString>{"COM1", "19200", "1", "无"} << true << "COM1" << 19200
                                         << Stop::One << Parity::None << "8N1";
        QTest::newRow("9600 1.5 even") << QVector<QString>{"COM1", "9600", "1.5", "偶校验"} << true << "COM1" << 9600
                                       << Stop::OneAndHalf << Parity::Even << "8E1.5";
        QTest::newRow("odd, two stop bits") << QVector<QString>{"/dev/ttyUSB0", "115200", "2", "奇校验"} << true
                                            << "/dev/ttyUSB0" << 115200 << Stop::Two << Parity::Odd << "8O2";
        // Words the dialog never sends read as the defaults, a rate that is no
        // number as 0 (which opens nothing); extra items are ignored.
        QTest::newRow("english words") << QVector<QString>{"p", "fast", "one", "odd", "x"} << true << "p" << 0
                                       << Stop::One << Parity::None << "8N1";
        QTest::newRow("three items") << QVector<QString>{"COM3", "9600", "2"} << false << "COM3" << 115200 << Stop::One
                                     << Parity::None << "8N1";
        QTest::newRow("empty") << QVector<QString>{} << false << "" << 115200 << Stop::One << Parity::None << "8N1";
    }

    void fromDialogTexts()
    {
        QFETCH(QVector<QString>, texts);
        QFETCH(bool, complete);
        QFETCH(QString, name);
        QFETCH(int, baud);
        QFETCH(Stop, stop);
        QFETCH(Parity, parity);
        QFETCH(QString, shortText);
        LineSettings s;
        s.baud = 1; // replaced, whatever the outcome
        QCOMPARE(LineSettings::fromDialogTexts(texts, &s), complete);
        QCOMPARE(s.name, name);
        QCOMPARE(s.baud, baud);
        QCOMPARE(s.stopBits, stop);
        QCOMPARE(s.parity, parity);
        QCOMPARE(s.shortText(), shortText);
    }
};

QTEST_GUILESS_MAIN(TestLineSettings)
#include "tst_linesettings.moc"
