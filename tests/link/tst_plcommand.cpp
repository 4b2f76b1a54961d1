// The executor as the windows use it: slots reached through queued calls on
// its worker thread, a real QSerialPort on the slave end of a pseudo-terminal
// and this test playing the device on the master end.

#include "CommandCatalogue.h"
#include "LinkTestSupport.h"
#include "PlCommand.h"
#include "PtyPair.h"
#include "SPComm.h"

#include <QMetaMethod>
#include <QPointer>
#include <QSerialPort>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <functional>

namespace {

QByteArray hex(const char *s) { return QByteArray::fromHex(s); }

QByteArray wordBytes(quint16 word)
{
    QByteArray b;
    b.append(char(word >> 8));
    b.append(char(word & 0xFF));
    return b;
}

struct CommandCase
{
    const char *label;
    std::function<bool(PlCommand *)> post;
    quint16 word;
    QByteArray data;
    bool isRead;
    QByteArray literalFrame; // when given, the frame must also equal this
};

// Q_ARG keeps a pointer to its value, so the call is built where it is made.
#define slotCall(slot, ...)                                                                  \
    [](PlCommand *pl) {                                                                      \
        return postToWorker(pl, [pl] {                                                       \
            if (!QMetaObject::invokeMethod(pl, slot, Qt::DirectConnection, ##__VA_ARGS__))   \
                qFatal("no slot %s", slot);                                                  \
        });                                                                                  \
    }

const QVector<CommandCase> &commandCases()
{
    static const QByteArray serial = hex("0F4240170C07002A");
    static const QByteArray fan = hex("01FF80");
    static const QByteArray ldType = hex("02");
    static const QVector<quint32> pid123 = {1, 2, 3};
    static const QVector<quint32> pidLong = {0x01020304, 2, 3, 99};
    static const QVector<quint32> pidShort = {7};
    static const QByteArray empty;
    static const QVector<CommandCase> cases = {
        {"softResetDev", slotCall("softResetDev"), 0x0001, hex("5AA5"), false, hex("0100015AA5B2DB")},
        {"turnOnOffLd on", slotCall("turnOnOffLd", Q_ARG(quint8, 1)), 0x0011, hex("01"), false, hex("01001101CC48")},
        {"turnOnOffLd off", slotCall("turnOnOffLd", Q_ARG(quint8, 0)), 0x0011, hex("00"), false, hex("010011000D88")},
        {"setPowerPercent 50", slotCall("setPowerPercent", Q_ARG(quint16, 50)), 0x0012, hex("0032"), false, hex("01001200323810")},
        {"setPowerPercent high byte", slotCall("setPowerPercent", Q_ARG(quint16, 0xABCD)), 0x0012, hex("ABCD"), false, {}},
        {"setTempThreshold -5", slotCall("setTempThreshold", Q_ARG(qint16, -5)), 0x0013, hex("FFFB"), false, {}},
        {"setTempThreshold 300", slotCall("setTempThreshold", Q_ARG(qint16, 300)), 0x0013, hex("012C"), false, {}},
        {"setDevFrameNum 1 258", slotCall("setDevFrameNum", Q_ARG(quint32, 1), Q_ARG(quint32, 258)), 0x0014, hex("0000000100000102"), false, {}},
        {"setDevFrameNum wide", slotCall("setDevFrameNum", Q_ARG(quint32, 0xDEADBEEF), Q_ARG(quint32, 0x01020304)), 0x0014, hex("DEADBEEF01020304"), false, {}},
        {"setDevSerialNum", slotCall("setDevSerialNum", Q_ARG(QByteArray, serial)), 0x0015, serial, false, {}},
        {"setDevSerialNum empty", slotCall("setDevSerialNum", Q_ARG(QByteArray, empty)), 0x0015, QByteArray(), false, {}},
        {"setSaveMaxDac", slotCall("setSaveMaxDac", Q_ARG(quint16, 0x1234)), 0x00A1, hex("1234"), false, {}},
        {"setNotSaveMaxDac", slotCall("setNotSaveMaxDac", Q_ARG(quint16, 0x0FFF)), 0x00A2, hex("0FFF"), false, {}},
        {"setCompensationHours 70000", slotCall("setCompensationHours", Q_ARG(quint32, 70000)), 0x00A3, hex("00001170"), false, {}},
        {"setCompensationHours 513", slotCall("setCompensationHours", Q_ARG(quint32, 513)), 0x00A3, hex("00000201"), false, {}},
        {"turnOnOffTec", slotCall("turnOnOffTec", Q_ARG(quint8, 1)), 0x00A4, hex("01"), false, {}},
        {"setTecPowerDac", slotCall("setTecPowerDac", Q_ARG(quint16, 0x0800)), 0x00A5, hex("0800"), false, {}},
        {"switchAutoTec", slotCall("switchAutoTec", Q_ARG(quint8, 0)), 0x00A6, hex("00"), false, {}},
        {"setFanAutoPwm", slotCall("setFanAutoPwm", Q_ARG(QByteArray, fan)), 0x00A7, fan, false, {}},
        {"setLdTypeParam", slotCall("setLdTypeParam", Q_ARG(QByteArray, ldType)), 0x00A8, ldType, false, {}},
        {"setPidValue 1 2 3", slotCall("setPidValue", Q_ARG(QVector<quint32>, pid123)), 0xA010, hex("000000010000000200000003"), false, {}},
        {"setPidValue sends three of four", slotCall("setPidValue", Q_ARG(QVector<quint32>, pidLong)), 0xA010, hex("010203040000000200000003"), false, {}},
        {"setPidValue short vector padded with zeros", slotCall("setPidValue", Q_ARG(QVector<quint32>, pidShort)), 0xA010, hex("000000070000000000000000"), false, {}},
        {"queryPidParam", slotCall("queryPidParam"), 0xA111, hex("00"), true, hex("01A111005C6A")},
        {"queryAllStatParam", slotCall("queryAllStatParam"), 0x00C1, hex("01"), true, hex("0100C1019188")},
    };
    return cases;
}

// Deletes the executor the way the main window does and waits until its
// worker thread has ended and the thread object is gone.
bool destroyExecutor(PlCommand *pl)
{
    QPointer<QThread> thread = pl->workerThread();
    pl->deleteLater();
    QDeadlineTimer deadline(5000);
    while (thread && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return thread.isNull();
}

} // namespace

class TestPlCommand : public QObject
{
    Q_OBJECT
private slots:
    void interfaceOrder();
    void commandFrames_data();
    void commandFrames();
    void openAndCloseReport();
    void openWhileOpenKeepsSettings();
    void openParsesSettings();
    void oddParityIsLogged();
    void unknownBaudFailsOpen();
    void shortSettingsListIsRefused();
    void execWriteRefusesWhatNoRowAllows_data();
    void execWriteRefusesWhatNoRowAllows();
    void lifecycleStopsThread();
    void directDeleteFromOtherThread();
};

void TestPlCommand::interfaceOrder()
{
    const QMetaObject &mo = PlCommand::staticMetaObject;
    // moc stores the normalized names: quint8 is uchar, quint16 ushort, qint16
    // short, quint32 uint.
    const QStringList expected = {
        "turnOnSpcommResult(QString,uchar)", "turnOffSpcommResult(QString,uchar)",
        "writeCmdResult(uchar,QByteArray)", "readCmdResult(uchar,QByteArray)",
        "sendCommErrNums(uint)", "turnOnSpcomm(QVector<QString>)", "turnOffSpcomm()", "isSpcOn()",
        "softResetDev()", "turnOnOffLd(uchar)", "setPowerPercent(ushort)", "setTempThreshold(short)",
        "setDevFrameNum(uint,uint)", "setSaveMaxDac(ushort)", "setNotSaveMaxDac(ushort)",
        "setCompensationHours(uint)", "setDevSerialNum(QByteArray)", "setPidValue(QVector<quint32>)",
        "turnOnOffTec(uchar)", "setTecPowerDac(ushort)", "switchAutoTec(uchar)",
        "setFanAutoPwm(QByteArray)", "setLdTypeParam(QByteArray)", "queryPidParam()", "queryAllStatParam()"};
    QCOMPARE(mo.methodCount() - mo.methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod m = mo.method(mo.methodOffset() + i);
        QCOMPARE(QString::fromLatin1(m.methodSignature()), expected.at(i));
        QCOMPARE(m.methodType(), i < 5 ? QMetaMethod::Signal : QMetaMethod::Slot);
    }
    const QMetaMethod first = mo.method(mo.methodOffset());
    QCOMPARE(first.parameterNames(), (QList<QByteArray>{"name", "result"}));
    QCOMPARE(mo.method(mo.methodOffset() + 2).parameterNames(), (QList<QByteArray>{"result", "srcTxData"}));
    QCOMPARE(mo.method(mo.methodOffset() + 3).parameterNames(), (QList<QByteArray>{"result", "readSrcData"}));
    QCOMPARE(mo.method(mo.methodOffset() + 4).parameterNames(), (QList<QByteArray>{"errNums"}));
    QCOMPARE(mo.method(mo.methodOffset() + 5).parameterNames(), (QList<QByteArray>{"infoQString"}));
    QCOMPARE(mo.method(mo.methodOffset() + 9).returnType(), qMetaTypeId<quint8>());
    QCOMPARE(mo.method(mo.methodOffset() + 7).returnType(), int(QMetaType::Bool));
}

void TestPlCommand::commandFrames_data()
{
    QTest::addColumn<int>("index");
    const auto &cases = commandCases();
    for (int i = 0; i < cases.size(); ++i)
        QTest::newRow(cases.at(i).label) << i;
}

void TestPlCommand::commandFrames()
{
    QFETCH(int, index);
    const CommandCase &c = commandCases().at(index);

    PtyPair pty;
    QVERIFY(pty.isValid());
    auto *pl = new PlCommand;
    {
        SignalRecorder rec(pl);
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm", Q_ARG(QVector<QString>, portSettings(pty.slavePath())))), 0);
        QVERIFY(rec.waitForCount(1));
        QCOMPARE(rec.takeAll().at(0).args, (QVariantList{pty.slavePath(), 0}));

        const QByteArray expected = deviceFrame(wordBytes(c.word) + c.data);
        QCOMPARE(expected.size(), 5 + c.data.size());
        if (!c.literalFrame.isEmpty())
            QCOMPARE(expected.toHex(), c.literalFrame.toHex());

        QVERIFY(c.post(pl));
        const QByteArray sent = pty.readExactly(expected.size());
        QCOMPARE(sent.toHex(), expected.toHex());

        const QByteArray reply = c.isRead ? deviceFrame(wordBytes(c.word) + hex("00112233"))
                                          : writeReply(0x00, c.word);
        QVERIFY(pty.write(reply));
        QVERIFY(rec.waitForCount(2));
        const QVector<LinkEvent> events = rec.takeAll();
        QCOMPARE(events.size(), 2);
        QCOMPARE(events.at(0).signal, QString("sendCommErrNums"));
        QCOMPARE(events.at(0).args, (QVariantList{qulonglong(0)}));
        QCOMPARE(events.at(1).signal, QString(c.isRead ? "readCmdResult" : "writeCmdResult"));
        // A write result names the frame that went out, a read result the reply.
        QCOMPARE(events.at(1).args, (QVariantList{0, c.isRead ? reply : expected}));
        // Nothing beyond the one frame went onto the line.
        QCOMPARE(pty.read(0).toHex(), QByteArray());
    }
    QVERIFY(destroyExecutor(pl));
}

void TestPlCommand::execWriteRefusesWhatNoRowAllows_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<QVector<quint32>>("values");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("power 5000") << int(CommandWord::Power) << QVector<quint32>{5000} << hex("0100121388");
    QTest::newRow("threshold 70.0") << int(CommandWord::TempThreshold) << QVector<quint32>{700} << hex("01001302BC");
    QTest::newRow("laser type 7") << int(CommandWord::LaserType) << QVector<quint32>{7} << hex("0100A807");
    QTest::newRow("unknown word") << 0x0099 << QVector<quint32>{1} << hex("010099");
    QTest::newRow("status query") << int(CommandWord::AllStatusQuery) << QVector<quint32>{} << hex("0100C101");
}

void TestPlCommand::execWriteRefusesWhatNoRowAllows()
{
    // The way of writeCommandSignal and korvexctl: refused with its own code,
    // no count and nothing on the line; the result still names the frame.
    QFETCH(int, word);
    QFETCH(QVector<quint32>, values);
    QFETCH(QByteArray, frame);
    PtyPair pty;
    QVERIFY(pty.isValid());
    auto *pl = new PlCommand;
    {
        SignalRecorder rec(pl);
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm", Q_ARG(QVector<QString>, portSettings(pty.slavePath())))), 0);
        QVERIFY(rec.waitForCount(1));
        rec.takeAll();
        const quint8 result = runOnWorker<quint8>(pl, [pl, word, values] { return pl->execWrite(CommandWord(word), values); });
        QCOMPARE(int(result), int(ResultRefused));
        const QVector<LinkEvent> events = rec.takeAll();
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.at(0).signal, QString("writeCmdResult"));
        QCOMPARE(events.at(0).args.at(0).toInt(), int(ResultRefused));
        QCOMPARE(events.at(0).args.at(1).toByteArray().left(frame.size()).toHex(), frame.toHex());
        QCOMPARE(pty.read(50).toHex(), QByteArray());
        // The same way with allowed values reaches the device.
        QVERIFY(postToWorker(pl, [pl] { pl->execWrite(CommandWord::Power, {500}); }));
        QCOMPARE(pty.readExactly(7).toHex(), deviceFrame(hex("001201F4")).toHex());
    }
    QVERIFY(destroyExecutor(pl));
}

void TestPlCommand::openAndCloseReport()
{
    PtyPair pty;
    auto *pl = new PlCommand;
    {
        SignalRecorder rec(pl);
        // Closing before anything was opened reports the (empty) stored name.
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOffSpcomm")), 0);
        QVERIFY(rec.waitForCount(1));
        QCOMPARE(rec.takeAll().at(0).args, (QVariantList{QString(), 0}));

        QVERIFY(!callAndWait<bool>(pl, "isSpcOn"));
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm", Q_ARG(QVector<QString>, portSettings(pty.slavePath())))), 0);
        QVERIFY(rec.waitForCount(1));
        QCOMPARE(rec.takeAll().at(0).args, (QVariantList{pty.slavePath(), 0}));
        QVERIFY(callAndWait<bool>(pl, "isSpcOn"));

        QCOMPARE(int(callAndWait<quint8>(pl, "turnOffSpcomm")), 0);
        QVector<LinkEvent> events = rec.takeAll();
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.at(0).signal, QString("turnOffSpcommResult"));
        QCOMPARE(events.at(0).args, (QVariantList{pty.slavePath(), 0}));
        QVERIFY(!callAndWait<bool>(pl, "isSpcOn"));

        // Closing again: still 0 with the stored name.
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOffSpcomm")), 0);
        QCOMPARE(rec.takeAll().at(0).args, (QVariantList{pty.slavePath(), 0}));

        // A path that does not exist cannot be opened.
        const QString missing = "/dev/korvex-no-such-port";
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm", Q_ARG(QVector<QString>, portSettings(missing)))), 1);
        QCOMPARE(rec.takeAll().at(0).args, (QVariantList{missing, 1}));
        QVERIFY(!callAndWait<bool>(pl, "isSpcOn"));
    }
    QVERIFY(destroyExecutor(pl));
}

void TestPlCommand::openWhileOpenKeepsSettings()
{
    PtyPair pty;
    auto *pl = new PlCommand;
    {
        SignalRecorder rec(pl);
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm",
                                         Q_ARG(QVector<QString>, portSettings(pty.slavePath(), "9600")))), 0);
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm",
                                         Q_ARG(QVector<QString>, portSettings("COM7", "57600", "2", "偶校验")))), 0);
        const QVector<LinkEvent> events = rec.takeAll();
        QCOMPARE(events.size(), 2);
        QCOMPARE(events.at(1).args, (QVariantList{QString("COM7"), 0}));
        // The port still runs on the first settings.
        const QSerialPort *port = pl->channel()->port();
        QCOMPARE("/dev/" + port->portName(), pty.slavePath());
        QCOMPARE(port->baudRate(), 9600);
        QCOMPARE(port->stopBits(), QSerialPort::OneStop);
        QCOMPARE(port->parity(), QSerialPort::NoParity);
        QVERIFY(callAndWait<bool>(pl, "isSpcOn"));

        // The new name is stored and closing reports it.
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOffSpcomm")), 0);
        QCOMPARE(rec.takeAll().at(0).args, (QVariantList{QString("COM7"), 0}));
    }
    QVERIFY(destroyExecutor(pl));
}

void TestPlCommand::openParsesSettings()
{
    // A missing port still receives every setting before the open fails, so
    // the port object shows how the texts were read.
    auto *pl = new PlCommand;
    const QSerialPort *port = pl->channel()->port();
    const QString missing = "/dev/korvex-no-such-port";

    QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm",
                                     Q_ARG(QVector<QString>, portSettings(missing, "9600", "1.5", "偶校验")))), 1);
    QCOMPARE(port->baudRate(), 9600);
    QCOMPARE(port->stopBits(), QSerialPort::OneAndHalfStop);
    QCOMPARE(port->parity(), QSerialPort::EvenParity);
    QCOMPARE(port->dataBits(), QSerialPort::Data8);
    QCOMPARE(port->flowControl(), QSerialPort::NoFlowControl);
    QCOMPARE(port->readBufferSize(), qint64(1024));

    QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm",
                                     Q_ARG(QVector<QString>, portSettings(missing, "57600", "2", "无")))), 1);
    QCOMPARE(port->baudRate(), 57600);
    QCOMPARE(port->stopBits(), QSerialPort::TwoStop);
    QCOMPARE(port->parity(), QSerialPort::NoParity);

    // Unknown texts fall back to one stop bit and no parity; matching is exact.
    QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm",
                                     Q_ARG(QVector<QString>, portSettings(missing, "2400", "1.50", "even")))), 1);
    QCOMPARE(port->baudRate(), 2400);
    QCOMPARE(port->stopBits(), QSerialPort::OneStop);
    QCOMPARE(port->parity(), QSerialPort::NoParity);
    QVERIFY(destroyExecutor(pl));
}

void TestPlCommand::oddParityIsLogged()
{
    PtyPair pty;
    auto *pl = new PlCommand;
    QTest::ignoreMessage(QtDebugMsg, "进入奇校验");
    QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm",
                                     Q_ARG(QVector<QString>, portSettings(pty.slavePath(), "19200", "1", "奇校验")))), 0);
    QCOMPARE(pl->channel()->port()->parity(), QSerialPort::OddParity);
    QVERIFY(destroyExecutor(pl));
}

void TestPlCommand::unknownBaudFailsOpen()
{
    PtyPair pty;
    auto *pl = new PlCommand;
    {
        SignalRecorder rec(pl);
        // 14400 and non-numeric text are not rates the port is given.
        for (const QString &baud : {QString("14400"), QString("fast")}) {
            QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm",
                                             Q_ARG(QVector<QString>, portSettings(pty.slavePath(), baud)))), 1);
            QCOMPARE(pl->channel()->port()->baudRate(), -1);
            QVERIFY(!callAndWait<bool>(pl, "isSpcOn"));
        }
        QCOMPARE(rec.takeAll().size(), 2);
    }
    QVERIFY(destroyExecutor(pl));
}

void TestPlCommand::shortSettingsListIsRefused()
{
    PtyPair pty;
    auto *pl = new PlCommand;
    {
        SignalRecorder rec(pl);
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm", Q_ARG(QVector<QString>, QVector<QString>()))), 1);
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm",
                                         Q_ARG(QVector<QString>, (QVector<QString>{pty.slavePath(), "9600", "1"})))), 1);
        QVector<LinkEvent> events = rec.takeAll();
        QCOMPARE(events.size(), 2);
        QCOMPARE(events.at(0).args, (QVariantList{QString(), 1}));
        QCOMPARE(events.at(1).args, (QVariantList{pty.slavePath(), 1}));
        QVERIFY(!callAndWait<bool>(pl, "isSpcOn"));
        // Nothing was stored: closing still reports the empty name.
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOffSpcomm")), 0);
        QCOMPARE(rec.takeAll().at(0).args, (QVariantList{QString(), 0}));

        // An open port stays open and keeps its settings.
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm",
                                         Q_ARG(QVector<QString>, portSettings(pty.slavePath())))), 0);
        QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm",
                                         Q_ARG(QVector<QString>, QVector<QString>{"COM3"}))), 1);
        QVERIFY(callAndWait<bool>(pl, "isSpcOn"));
        QCOMPARE(pl->channel()->commName(), pty.slavePath());
    }
    QVERIFY(destroyExecutor(pl));
}

void TestPlCommand::lifecycleStopsThread()
{
    PtyPair pty;
    auto *pl = new PlCommand;
    QThread *thread = pl->workerThread();
    QVERIFY(thread->isRunning());
    QCOMPARE(pl->thread(), thread);
    QCOMPARE(pl->channel()->port()->thread(), thread);
    QVERIFY(thread != QThread::currentThread());

    QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm",
                                     Q_ARG(QVector<QString>, portSettings(pty.slavePath())))), 0);
    QPointer<QSerialPort> port = pl->channel()->port();
    std::atomic<int> finished{0};
    connect(thread, &QThread::finished, thread, [&finished] { ++finished; }, Qt::DirectConnection);
    QVERIFY(destroyExecutor(pl));
    QCOMPARE(finished.load(), 1);
    QVERIFY(port.isNull());
    // The device side sees the port closed: writing still works on the master,
    // and a fresh executor can open the same line again.
    auto *again = new PlCommand;
    QCOMPARE(int(callAndWait<quint8>(again, "turnOnSpcomm",
                                     Q_ARG(QVector<QString>, portSettings(pty.slavePath())))), 0);
    QVERIFY(destroyExecutor(again));
}

void TestPlCommand::directDeleteFromOtherThread()
{
    // Not the way the program ends, but it must neither hang nor crash.
    PtyPair pty;
    auto *pl = new PlCommand;
    QPointer<QThread> thread = pl->workerThread();
    QCOMPARE(int(callAndWait<quint8>(pl, "turnOnSpcomm",
                                     Q_ARG(QVector<QString>, portSettings(pty.slavePath())))), 0);
    delete pl;
    QVERIFY(thread.isNull());
}

QTEST_GUILESS_MAIN(TestPlCommand)
#include "tst_plcommand.moc"
