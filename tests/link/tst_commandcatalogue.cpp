// The command catalogue: one parse and scaling of every typed device value
// (the same text gives the same value on every path; what the device must
// not be sent is refused), and the data each executor slot builds from it.

#include "CommandCatalogue.h"
#include "PidMath.h"
#include "StatusSchema.h"

#include <QtTest>

class TestCommandCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void typedTextToSentValue_data()
    {
        QTest::addColumn<int>("word");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<qint64>("sent");
        const int pid = int(CommandWord::PidCoefficients);
        const int threshold = int(CommandWord::TempThreshold);
        QTest::newRow("pid 1.5") << pid << "1.5" << true << qint64(15000);
        QTest::newRow("pid 0.0007 exactly") << pid << "0.0007" << true << qint64(7);
        QTest::newRow("pid 3.1416 exactly") << pid << "3.1416" << true << qint64(31416);
        QTest::newRow("pid 2.0001 exactly") << pid << "2.0001" << true << qint64(20001);
        QTest::newRow("pid negative") << pid << "-1.5" << true << qint64(-15000);
        QTest::newRow("pid exponent") << pid << "7e-4" << true << qint64(7);
        QTest::newRow("pid trailing zeros") << pid << "1.50000000" << true << qint64(15000);
        QTest::newRow("pid largest") << pid << "214748.3647" << true << qint64(2147483647);
        QTest::newRow("pid nan") << pid << "nan" << false << qint64(0);
        QTest::newRow("pid inf") << pid << "inf" << false << qint64(0);
        QTest::newRow("pid 1e30") << pid << "1e30" << false << qint64(0);
        QTest::newRow("pid 300000 would flip sign") << pid << "300000" << false << qint64(0);
        QTest::newRow("pid finer than 1/10000") << pid << "0.00005" << false << qint64(0);
        QTest::newRow("pid comma") << pid << "1,5" << false << qint64(0);
        QTest::newRow("pid trailing text") << pid << "1.5x" << false << qint64(0);
        QTest::newRow("pid lone point") << pid << "." << false << qint64(0);
        QTest::newRow("threshold 45.5") << threshold << "45.5" << true << qint64(455);
        QTest::newRow("threshold 20") << threshold << "20" << true << qint64(200);
        QTest::newRow("threshold 99 disables the protection") << threshold << "99" << false << qint64(0);
        QTest::newRow("threshold 0 trips it") << threshold << "0" << false << qint64(0);
        QTest::newRow("threshold -40") << threshold << "-40" << false << qint64(0);
        QTest::newRow("threshold two decimals") << threshold << "45.55" << false << qint64(0);
        QTest::newRow("power 1001") << int(CommandWord::Power) << "1001" << false << qint64(0);
        QTest::newRow("power 1000") << int(CommandWord::Power) << "1000" << true << qint64(1000);
        QTest::newRow("power 0.5") << int(CommandWord::Power) << "0.5" << false << qint64(0);
        QTest::newRow("compensation 70000") << int(CommandWord::CompensationHours) << "70000" << false << qint64(0);
        QTest::newRow("max dac 4096") << int(CommandWord::MaxDacSaved) << "4096" << false << qint64(0);
        QTest::newRow("tec dac 3801") << int(CommandWord::TecPowerDac) << "3801" << false << qint64(0);
    }

    void typedTextToSentValue()
    {
        QFETCH(int, word);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(qint64, sent);
        qint64 value = -1;
        QString error;
        QCOMPARE(CommandCatalogue::parse(CommandWord(word), text, &value, &error), accepted);
        if (accepted)
            QCOMPARE(value, sent);
        else
            QVERIFY2(error.contains(text) && error.contains(" to "), qPrintable(error)); // says what is allowed
    }

    void aFileNumberScalesAsItsText_data()
    {
        QTest::addColumn<double>("typed");
        QTest::newRow("2.0001") << 2.0001;
        QTest::newRow("0.0007") << 0.0007;
        QTest::newRow("-0.5") << -0.5;
        QTest::newRow("1.2345") << 1.2345;
    }

    void aFileNumberScalesAsItsText()
    {
        // A profile's JSON number and the same number typed give one word.
        QFETCH(double, typed);
        qint64 fromFile = 0;
        qint64 fromText = 0;
        QString error;
        QVERIFY(CommandCatalogue::parseNumber(CommandWord::PidCoefficients, typed, &fromFile, &error));
        QVERIFY(CommandCatalogue::parse(CommandWord::PidCoefficients, QString::fromLatin1(QTest::currentDataTag()), &fromText, &error));
        QCOMPARE(fromFile, fromText);
        quint32 windowWord = 0;
        QVERIFY(PidMath::parseCoefficient(QString::fromLatin1(QTest::currentDataTag()), &windowWord, &error));
        QCOMPARE(qint64(qint32(windowWord)), fromText);
    }

    void dataAsTheSlotsSendIt_data()
    {
        QTest::addColumn<int>("word");
        QTest::addColumn<QList<quint32>>("values");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("restart") << int(CommandWord::SoftReset) << QList<quint32>{} << QByteArray::fromHex("5AA5");
        QTest::newRow("threshold -5") << int(CommandWord::TempThreshold) << QList<quint32>{quint16(-5)} << QByteArray::fromHex("FFFB");
        QTest::newRow("frame counters") << int(CommandWord::FrameCounters) << QList<quint32>{1, 258}
                                        << QByteArray::fromHex("0000000100000102");
        QTest::newRow("compensation 70000") << int(CommandWord::CompensationHours) << QList<quint32>{70000}
                                            << QByteArray::fromHex("00001170");
        QTest::newRow("pid") << int(CommandWord::PidCoefficients) << QList<quint32>{1, 2, 3}
                             << QByteArray::fromHex("000000010000000200000003");
        QTest::newRow("status query") << int(CommandWord::AllStatusQuery) << QList<quint32>{} << QByteArray::fromHex("01");
        QTest::newRow("pid query") << int(CommandWord::PidQuery) << QList<quint32>{} << QByteArray::fromHex("00");
    }

    void dataAsTheSlotsSendIt()
    {
        QFETCH(int, word);
        QFETCH(QList<quint32>, values);
        QFETCH(QByteArray, data);
        QByteArray built;
        switch (values.size()) {
        case 0: built = CommandCatalogue::encode(CommandWord(word), {}); break;
        case 1: built = CommandCatalogue::encode(CommandWord(word), {values.at(0)}); break;
        case 2: built = CommandCatalogue::encode(CommandWord(word), {values.at(0), values.at(1)}); break;
        default: built = CommandCatalogue::encode(CommandWord(word), {values.at(0), values.at(1), values.at(2)}); break;
        }
        QCOMPARE(built.toHex(), data.toHex());
        QCOMPARE(built.size(), CommandCatalogue::row(CommandWord(word)).dataLength);
    }

    void writeGuard_data()
    {
        // What the executor's execWrite sends or refuses, whichever path the
        // values came by: the row decides, an unknown word has none.
        QTest::addColumn<int>("word");
        QTest::addColumn<QVector<quint32>>("values");
        QTest::addColumn<bool>("allowed");
        using W = CommandWord;
        QTest::newRow("power 1000") << int(W::Power) << QVector<quint32>{1000} << true;
        QTest::newRow("power 5000") << int(W::Power) << QVector<quint32>{5000} << false;
        QTest::newRow("power, two values") << int(W::Power) << QVector<quint32>{1, 2} << false;
        QTest::newRow("power, none") << int(W::Power) << QVector<quint32>{} << false;
        QTest::newRow("threshold 20.0") << int(W::TempThreshold) << QVector<quint32>{200} << true;
        QTest::newRow("threshold -0.5") << int(W::TempThreshold) << QVector<quint32>{quint16(-5)} << false;
        QTest::newRow("compensation 65535") << int(W::CompensationHours) << QVector<quint32>{65535} << true;
        QTest::newRow("compensation 70000") << int(W::CompensationHours) << QVector<quint32>{70000} << false;
        QTest::newRow("max dac 4096") << int(W::MaxDacSaved) << QVector<quint32>{4096} << false;
        QTest::newRow("tec dac 3801") << int(W::TecPowerDac) << QVector<quint32>{3801} << false;
        QTest::newRow("laser 2") << int(W::LaserSwitch) << QVector<quint32>{2} << false;
        QTest::newRow("restart") << int(W::SoftReset) << QVector<quint32>{} << true;
        QTest::newRow("restart with a value") << int(W::SoftReset) << QVector<quint32>{1} << false;
        QTest::newRow("counters zero") << int(W::FrameCounters) << QVector<quint32>{0, 0} << true;
        QTest::newRow("pid -1.5 1 0") << int(W::PidCoefficients) << QVector<quint32>{quint32(-15000), 10000, 0} << true;
        QTest::newRow("laser type 2") << int(W::LaserType) << QVector<quint32>{2} << true;
        QTest::newRow("laser type 3") << int(W::LaserType) << QVector<quint32>{3} << false;
        QTest::newRow("serial number") << int(W::SerialNumber) << QVector<quint32>{1, 2, 3, 4, 5, 6, 7, 8} << true;
        QTest::newRow("serial number, 7 bytes") << int(W::SerialNumber) << QVector<quint32>{1, 2, 3, 4, 5, 6, 7} << false;
        QTest::newRow("serial number, not a byte") << int(W::SerialNumber) << QVector<quint32>{1, 2, 3, 256, 5, 6, 7, 8} << false;
        QTest::newRow("fan pwm 1000") << int(W::FanDebug) << QVector<quint32>{0xFF, 0x03, 0xE8} << true;
        QTest::newRow("fan pwm 1001") << int(W::FanDebug) << QVector<quint32>{0xFF, 0x03, 0xE9} << false;
        QTest::newRow("fan automatic") << int(W::FanDebug) << QVector<quint32>{0x01, 0xFF, 0xFF} << true;
        QTest::newRow("fan, no such kind") << int(W::FanDebug) << QVector<quint32>{0x02, 0xFF, 0xFF} << false;
        QTest::newRow("status query") << int(W::AllStatusQuery) << QVector<quint32>{} << false;
        QTest::newRow("unknown word") << 0x0099 << QVector<quint32>{1} << false;
    }

    void writeGuard()
    {
        QFETCH(int, word);
        QFETCH(QVector<quint32>, values);
        QFETCH(bool, allowed);
        QString why;
        QByteArray data("untouched");
        QCOMPARE(CommandCatalogue::encodeChecked(CommandWord(word), values, &data, &why), allowed);
        QCOMPARE(CommandCatalogue::check(CommandWord(word), values), allowed);
        if (allowed) {
            QCOMPARE(data.toHex(), CommandCatalogue::encode(CommandWord(word), values).toHex());
        } else {
            QCOMPARE(data, QByteArray("untouched"));
            QVERIFY(!why.isEmpty());
        }
    }

    void reportsNameStatusFieldsThatHoldTheData()
    {
        // A row's reporting fields are schema fields, and together exactly
        // as wide as the data a write of the row carries: the window's echo
        // copies the sent bytes into them.
        int reporting = 0;
        for (const CommandRow *row : CommandCatalogue::rows()) {
            const QVector<const StatusSchema::Field *> fields = CommandCatalogue::reportingFields(row->word);
            if (!row->reports) {
                QVERIFY(fields.isEmpty());
                continue;
            }
            ++reporting;
            QCOMPARE(fields.size(), QString::fromLatin1(row->reports).split(' ').size());
            int width = 0;
            for (const StatusSchema::Field *f : fields)
                width += f->width;
            QVERIFY2(width == row->dataLength, row->name);
            QVERIFY2(!row->read, row->name);
        }
        QCOMPARE(reporting, 7);
    }

    void unknownWordHasAnEmptyRow()
    {
        // Looked up by a control's word that no row has: no crash, nothing allowed.
        const CommandWord unknown = CommandWord(0x0099);
        QCOMPARE(QByteArray(CommandCatalogue::row(unknown).name), QByteArray("unknown"));
        QVERIFY(!CommandCatalogue::accepts(unknown, 0));
        QVERIFY(!CommandCatalogue::accepts(unknown, 1));
        QCOMPARE(CommandCatalogue::encode(unknown, {1, 2}), QByteArray());
        QCOMPARE(CommandCatalogue::resultText(ResultRefused), QString("失败，数值不在允许范围内，未发送"));
    }

    void rowsThatKorvexctlSetsTakeOneValue()
    {
        // korvexctl's "NAME N" and the simulator take a row's one value by
        // its encoding; a row of several values needs a command of its own.
        QSet<QString> names;
        int setters = 0;
        for (const CommandRow *row : CommandCatalogue::rows()) {
            QVERIFY(CommandCatalogue::find(quint16(row->word)) == row);
            if (!row->sets)
                continue;
            ++setters;
            const QString name = QString::fromLatin1(row->name);
            QVERIFY2(!row->read, row->name);
            QVERIFY2(row->encoding == DataEncoding::Byte || row->encoding == DataEncoding::Word16, row->name);
            QVERIFY2(!names.contains(name) && !name.contains(' '), row->name);
            names.insert(name);
        }
        QVERIFY(setters >= 1);
    }
};

QTEST_GUILESS_MAIN(TestCommandCatalogue)
#include "tst_commandcatalogue.moc"
