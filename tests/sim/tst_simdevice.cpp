#include "Protocol.h"
#include "SimDevice.h"

#include <QtTest>

namespace {

QByteArray frame(quint16 word, const QByteArray &data)
{
    return Protocol().packFrame(word, data);
}

quint16 u16(const QByteArray &f, int at)
{
    return quint16((quint8(f[at]) << 8) | quint8(f[at + 1]));
}

quint32 u32(const QByteArray &f, int at)
{
    return (quint32(u16(f, at)) << 16) | u16(f, at + 2);
}

// Sends a write and returns its status byte, after checking the reply's shape.
int write(SimDevice &dev, quint16 word, const QByteArray &data)
{
    const QByteArray reply = dev.handleRequest(frame(word, data));
    if (reply.size() != 6 || Protocol().checkFrame(reply) != 0 || u16(reply, 1) != word)
        return -1;
    return quint8(reply[3]);
}

} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT
private slots:
    void statusReplyLayout();
    void writesChangeState();
    void invalidWritesAreRefusedAndChangeNothing();
    void serialNumberLengths();
    void refusedWords();
    void frameCounters();
    void softResetKeepsStoredSettings();
    void pidReply();
    void laserCurrentAndRunTime();
    void temperatureAlarm();
    void fanAlarmAndSpeeds();
    void tecCurrent();
    void requestLengths();
};

void TestSimDevice::statusReplyLayout()
{
    SimDevice dev;
    SimDevice::State &s = dev.state();
    s.fwMajor = 2;
    s.fwMinor = 7;
    s.laserOn = true;
    s.power = 0x0304;
    s.threshold = -5;
    s.rxFrames = 0x11223344;
    s.txFrames = 0x55667788;
    s.serial = QByteArray::fromHex("010203180709002A");
    s.runMs = 7199999;
    s.compensationHours = 0x00011170;
    s.fanRpm[0] = 1000.4;
    s.fanRpm[1] = 2000.6;
    s.fanRpm[2] = 0;
    s.ldCurrent = 1234;
    s.tecCurrent = 4321;
    s.ldTemp = -1.5;
    s.ldTemp2 = 30.04;
    s.maxDac = 399;
    s.ldType = 2;
    s.mcuTemp = 41.26;
    s.envTemp = 22.5;

    const QByteArray r = dev.handleRequest(frame(0x00C1, QByteArray(1, 0x01)));
    QCOMPARE(r.size(), 59);
    QCOMPARE(Protocol().checkFrame(r), 0);
    QCOMPARE(u16(r, 1), quint16(0x00C1));
    QCOMPARE(quint8(r[3]), quint8(2));
    QCOMPARE(quint8(r[4]), quint8(7));
    QCOMPARE(quint8(r[5]), quint8(0x01));
    QCOMPARE(quint8(r[6]), quint8(0)); // -1.5 degC is below the -0.5 degC threshold
    QCOMPARE(u16(r, 7), quint16(0x0304));
    QCOMPARE(qint16(u16(r, 9)), qint16(-5));
    QCOMPARE(u32(r, 11), quint32(0x11223345)); // this request counted
    QCOMPARE(u32(r, 15), quint32(0x55667788));
    QCOMPARE(r.mid(19, 8), QByteArray::fromHex("010203180709002A"));
    QCOMPARE(u32(r, 27), quint32(7199));
    QCOMPARE(u32(r, 31), quint32(0x00011170));
    QCOMPARE(u16(r, 35), quint16(1000));
    QCOMPARE(u16(r, 37), quint16(2001));
    QCOMPARE(u16(r, 39), quint16(0));
    QCOMPARE(u16(r, 41), quint16(1234));
    QCOMPARE(u16(r, 43), quint16(4321));
    QCOMPARE(qint16(u16(r, 45)), qint16(-15));
    QCOMPARE(qint16(u16(r, 47)), qint16(300));
    QCOMPARE(u16(r, 49), quint16(399));
    QCOMPARE(quint8(r[51]), quint8(2));
    QCOMPARE(quint8(r[52]), quint8(0));
    QCOMPARE(qint16(u16(r, 53)), qint16(413));
    QCOMPARE(qint16(u16(r, 55)), qint16(225));
}

void TestSimDevice::writesChangeState()
{
    SimDevice dev;
    const SimDevice::State &s = dev.state();

    QCOMPARE(write(dev, 0x0011, QByteArray(1, 1)), 0);
    QVERIFY(s.laserOn);
    QCOMPARE(quint8(dev.statusData()[2]), quint8(0x01));
    QCOMPARE(write(dev, 0x0011, QByteArray(1, 0)), 0);
    QVERIFY(!s.laserOn);

    QCOMPARE(write(dev, 0x0012, QByteArray::fromHex("03E8")), 0);
    QCOMPARE(s.power, quint16(1000));
    QCOMPARE(write(dev, 0x0013, QByteArray::fromHex("FFFB")), 0);
    QCOMPARE(s.threshold, qint16(-5));
    QCOMPARE(write(dev, 0x00A3, QByteArray::fromHex("00001170")), 0);
    QCOMPARE(s.compensationHours, quint32(4464));
    QCOMPARE(write(dev, 0x00A2, QByteArray::fromHex("018F")), 0);
    QCOMPARE(s.maxDac, quint16(399));
    QCOMPARE(s.savedMaxDac, quint16(3000));
    QCOMPARE(write(dev, 0x00A1, QByteArray::fromHex("0FFF")), 0);
    QCOMPARE(s.maxDac, quint16(4095));
    QCOMPARE(s.savedMaxDac, quint16(4095));
    QCOMPARE(write(dev, 0x00A8, QByteArray(1, 2)), 0);
    QCOMPARE(s.ldType, quint8(2));

    QCOMPARE(write(dev, 0x00A4, QByteArray(1, 0)), 0);
    QVERIFY(!s.tecOn);
    QCOMPARE(write(dev, 0x00A6, QByteArray(1, 0)), 0);
    QVERIFY(!s.tecAuto);
    QCOMPARE(write(dev, 0x00A5, QByteArray::fromHex("0ED8")), 0);
    QCOMPARE(s.tecDac, quint16(3800));

    QCOMPARE(write(dev, 0x00A7, QByteArray::fromHex("FF012C")), 0);
    QVERIFY(!s.fanAuto);
    QCOMPARE(s.fanPwm, quint16(300));
    QCOMPARE(dev.fanPwmCommand(), 300);
    QCOMPARE(write(dev, 0x00A7, QByteArray::fromHex("01FFFF")), 0);
    QVERIFY(s.fanAuto);
    QCOMPARE(write(dev, 0x00A7, QByteArray::fromHex("00FFFF")), 0);
    QVERIFY(!s.fanAuto);

    QCOMPARE(write(dev, 0xA010, QByteArray::fromHex("000000010000000200000003")), 0);
    QCOMPARE(s.kp, quint32(1));
    QCOMPARE(s.ki, quint32(2));
    QCOMPARE(s.kd, quint32(3));
}

void TestSimDevice::invalidWritesAreRefusedAndChangeNothing()
{
    SimDevice dev;
    const SimDevice::State &s = dev.state();
    const QByteArray before = dev.statusData();

    QCOMPARE(write(dev, 0x0012, QByteArray::fromHex("03E9")), int(SimDevice::InvalidData));
    QCOMPARE(write(dev, 0x0011, QByteArray(1, 2)), int(SimDevice::InvalidData));
    QCOMPARE(write(dev, 0x00A4, QByteArray(1, 7)), int(SimDevice::InvalidData));
    QCOMPARE(write(dev, 0x00A1, QByteArray::fromHex("1000")), int(SimDevice::InvalidData));
    QCOMPARE(write(dev, 0x00A8, QByteArray(1, 3)), int(SimDevice::InvalidData));
    QCOMPARE(write(dev, 0x00A8, QByteArray()), int(SimDevice::InvalidData));
    QCOMPARE(write(dev, 0x00A7, QByteArray::fromHex("FF03E9")), int(SimDevice::InvalidData));
    QCOMPARE(write(dev, 0x00A7, QByteArray::fromHex("02FFFF")), int(SimDevice::InvalidData));
    QCOMPARE(write(dev, 0x00A7, QByteArray::fromHex("FF0000FF")), int(SimDevice::InvalidData));
    QCOMPARE(write(dev, 0x0001, QByteArray::fromHex("A55A")), int(SimDevice::InvalidData));
    QCOMPARE(write(dev, 0x0077, QByteArray(1, 1)), int(SimDevice::UnknownCommand));

    QCOMPARE(s.power, quint16(0));
    QVERIFY(!s.laserOn);
    QVERIFY(s.tecOn);
    QCOMPARE(s.maxDac, quint16(3000));
    QCOMPARE(s.ldType, quint8(0));
    QVERIFY(s.fanAuto);
    // Only the receive counter moved.
    const QByteArray after = dev.statusData();
    QCOMPARE(after.left(8), before.left(8));
    QCOMPARE(after.mid(12), before.mid(12));
}

void TestSimDevice::serialNumberLengths()
{
    SimDevice dev;
    const QByteArray original = dev.state().serial;
    QCOMPARE(original.size(), 8);
    QCOMPARE(write(dev, 0x0015, QByteArray()), int(SimDevice::InvalidData));
    QCOMPARE(write(dev, 0x0015, QByteArray::fromHex("01020304050607")), int(SimDevice::InvalidData));
    QCOMPARE(write(dev, 0x0015, QByteArray::fromHex("010203040506070809")), int(SimDevice::InvalidData));
    QCOMPARE(dev.state().serial, original);
    QCOMPARE(write(dev, 0x0015, QByteArray::fromHex("010203180709002A")), 0);
    QCOMPARE(dev.statusData().mid(16, 8), QByteArray::fromHex("010203180709002A"));
}

void TestSimDevice::refusedWords()
{
    SimDevice dev;
    dev.setRefusedWords({0x0012, 0x00C1});
    QCOMPARE(write(dev, 0x0012, QByteArray::fromHex("0064")), int(SimDevice::Refused));
    QCOMPARE(dev.state().power, quint16(0));
    QCOMPARE(write(dev, 0x0011, QByteArray(1, 1)), 0);
    QVERIFY(dev.state().laserOn);
    // A refused read is answered with the short reply and its status byte.
    QCOMPARE(write(dev, 0x00C1, QByteArray(1, 1)), int(SimDevice::Refused));
}

void TestSimDevice::frameCounters()
{
    SimDevice dev;
    for (int i = 0; i < 5; ++i) {
        dev.handleRequest(frame(0x0011, QByteArray(1, 0)));
        dev.noteReplySent();
    }
    QCOMPARE(dev.state().rxFrames, quint32(5));
    QCOMPARE(dev.state().txFrames, quint32(5));
    // Frames that are not well formed are not counted.
    QVERIFY(dev.handleRequest(QByteArray::fromHex("0200")).isEmpty());
    QCOMPARE(dev.state().rxFrames, quint32(5));

    QCOMPARE(write(dev, 0x0014, QByteArray::fromHex("0000000100000102")), 0);
    QCOMPARE(dev.state().rxFrames, quint32(1));
    QCOMPARE(dev.state().txFrames, quint32(258));
    dev.noteReplySent();
    const QByteArray r = dev.handleRequest(frame(0x00C1, QByteArray(1, 1)));
    QCOMPARE(u32(r, 11), quint32(2));
    QCOMPARE(u32(r, 15), quint32(259));
}

void TestSimDevice::softResetKeepsStoredSettings()
{
    SimDevice dev;
    write(dev, 0x0011, QByteArray(1, 1));
    write(dev, 0x0012, QByteArray::fromHex("01F4"));
    write(dev, 0x00A1, QByteArray::fromHex("0800"));
    write(dev, 0x00A2, QByteArray::fromHex("0400"));
    write(dev, 0x00A7, QByteArray::fromHex("FF0000"));
    write(dev, 0x00A4, QByteArray(1, 0));
    dev.advance(10000);
    QCOMPARE(write(dev, 0x0001, QByteArray::fromHex("5AA5")), 0);
    const SimDevice::State &s = dev.state();
    QVERIFY(!s.laserOn);
    QCOMPARE(s.power, quint16(500));
    QCOMPARE(s.maxDac, quint16(0x0800)); // the unsaved 0x0400 is gone
    QVERIFY(s.fanAuto);
    QVERIFY(s.tecOn);
    QCOMPARE(s.rxFrames, quint32(0));
    QCOMPARE(s.runMs, quint64(10000));
}

void TestSimDevice::pidReply()
{
    SimDevice dev;
    QCOMPARE(write(dev, 0xA010, QByteArray::fromHex("00003A98000003E800000000")), 0);
    dev.state().ldTemp = -2.0;
    const QByteArray r = dev.handleRequest(frame(0xA111, QByteArray(1, 0)));
    QCOMPARE(r.size(), 25);
    QCOMPARE(Protocol().checkFrame(r), 0);
    QCOMPARE(u16(r, 1), quint16(0xA111));
    QCOMPARE(qint32(u32(r, 3)), -20);
    QCOMPARE(u32(r, 11), quint32(15000));
    QCOMPARE(u32(r, 15), quint32(1000));
    QCOMPARE(u32(r, 19), quint32(0));
}

void TestSimDevice::laserCurrentAndRunTime()
{
    SimDevice dev;
    dev.state().runMs = 1000;
    write(dev, 0x0012, QByteArray::fromHex("03E8"));
    write(dev, 0x00A1, QByteArray::fromHex("0FFF"));
    dev.advance(5000);
    QCOMPARE(u16(dev.statusData(), 38), quint16(0)); // laser still off
    write(dev, 0x0011, QByteArray(1, 1));
    dev.advance(5000);
    QCOMPARE(u16(dev.statusData(), 38), quint16(8000)); // type 0, full power, full DAC
    write(dev, 0x0012, QByteArray::fromHex("01F4"));
    dev.advance(5000);
    QCOMPARE(u16(dev.statusData(), 38), quint16(4000));
    write(dev, 0x0011, QByteArray(1, 0));
    dev.advance(5000);
    QCOMPARE(u16(dev.statusData(), 38), quint16(0));
    dev.advance(3600 * 1000);
    QCOMPARE(u32(dev.statusData(), 24), quint32(1 + 20 + 3600));
}

void TestSimDevice::temperatureAlarm()
{
    SimDevice dev;
    QCOMPARE(dev.alarmBits() & 0x01, 0);
    // Threshold below the idle temperature raises the alarm at once.
    write(dev, 0x0013, QByteArray::fromHex("00C8"));
    QCOMPARE(dev.alarmBits() & 0x01, 0x01);
    write(dev, 0x0013, QByteArray::fromHex("01F4"));
    QCOMPARE(dev.alarmBits() & 0x01, 0);

    // A 50 W laser at full power without cooling overheats.
    write(dev, 0x00A8, QByteArray(1, 2));
    write(dev, 0x00A1, QByteArray::fromHex("0FFF"));
    write(dev, 0x0012, QByteArray::fromHex("03E8"));
    write(dev, 0x00A4, QByteArray(1, 0));
    write(dev, 0x00A7, QByteArray::fromHex("FF0000"));
    write(dev, 0x0011, QByteArray(1, 1));
    dev.advance(120000);
    QVERIFY2(dev.state().ldTemp > 50.0, qPrintable(QString::number(dev.state().ldTemp)));
    QCOMPARE(dev.statusData()[3] & 0x01, 0x01);
    QVERIFY(dev.state().ldTemp2 > dev.state().envTemp);

    // Automatic fans and TEC bring it back.
    write(dev, 0x00A7, QByteArray::fromHex("01FFFF"));
    write(dev, 0x00A4, QByteArray(1, 1));
    dev.advance(120000);
    QVERIFY2(dev.state().ldTemp < 40.0, qPrintable(QString::number(dev.state().ldTemp)));
    QCOMPARE(dev.statusData()[3] & 0x01, 0);
}

void TestSimDevice::fanAlarmAndSpeeds()
{
    SimDevice dev;
    write(dev, 0x00A7, QByteArray::fromHex("FF03E8"));
    dev.advance(10000);
    QByteArray d = dev.statusData();
    QVERIFY(qAbs(int(u16(d, 32)) - 6000) < 60);
    QVERIFY(u16(d, 34) < u16(d, 32)); // fans differ a little
    QCOMPARE(quint8(d[3]) & 0x0E, 0);

    dev.setFanStuck(1, true);
    dev.advance(10000);
    d = dev.statusData();
    QCOMPARE(u16(d, 34), quint16(0));
    QVERIFY(u16(d, 32) > 5000);
    QCOMPARE(quint8(d[3]) & 0x0E, 0x04);

    // A fan told to stand still is no alarm.
    write(dev, 0x00A7, QByteArray::fromHex("FF0000"));
    dev.advance(20000);
    d = dev.statusData();
    QCOMPARE(quint8(d[3]) & 0x0E, 0);
    QVERIFY(u16(d, 32) < 50);
}

void TestSimDevice::tecCurrent()
{
    SimDevice dev;
    write(dev, 0x00A6, QByteArray(1, 0));
    write(dev, 0x00A5, QByteArray::fromHex("0FFF"));
    dev.advance(5000);
    QCOMPARE(u16(dev.statusData(), 40), quint16(5000));
    write(dev, 0x00A4, QByteArray(1, 0));
    dev.advance(5000);
    QCOMPARE(u16(dev.statusData(), 40), quint16(0));
    const double cooledBefore = dev.state().ldTemp;
    write(dev, 0x00A4, QByteArray(1, 1));
    dev.advance(60000);
    QVERIFY(dev.state().ldTemp < cooledBefore - 5.0);
}

void TestSimDevice::requestLengths()
{
    QCOMPARE(SimDevice::requestDataLength(0x0014), 8);
    QCOMPARE(SimDevice::requestDataLength(0xA010), 12);
    QCOMPARE(SimDevice::requestDataLength(0x00A3), 4);
    QCOMPARE(SimDevice::requestDataLength(0x0015), SimDevice::VariableLength);
    QCOMPARE(SimDevice::requestDataLength(0x00A7), SimDevice::VariableLength);
    QCOMPARE(SimDevice::requestDataLength(0x1234), SimDevice::UnknownWord);
}

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
