// The plain parts of korvexctl: serial number records, device profiles,
// status texts and the flash table, without a device.

#include "DeviceProfile.h"
#include "FlashCommand.h"
#include "SerialNumberRecord.h"
#include "StatusDecoder.h"
#include "StatusText.h"

#include "StatusBytes.h"

#include <QJsonDocument>
#include <QtTest>

class TestCtlParts : public QObject
{
    Q_OBJECT

private slots:
    void serialNumberRecordAsTheComposerBuildsIt()
    {
        QCOMPARE(SerialNumberRecord::compose(1234567, QDate(2024, 3, 5), 12).toHex(), QByteArray("12d687180305000c"));
        QCOMPARE(SerialNumberRecord::compose(0, QDate(2000, 1, 1), 0).toHex(), QByteArray("0000000001010000"));
        QCOMPARE(quint8(SerialNumberRecord::compose(1, QDate(2255, 12, 31), 1).at(3)), quint8(255));
        QCOMPARE(SerialNumberRecord::compose(9999999, QDate(2026, 12, 7), 9999).toHex(),
                 QByteArray("98967f1a0c07270f"));
    }

    void profileRoundTripsThroughJson()
    {
        DevStatusCache status;
        StatusDecoder::parseAllStatus(status, StatusBytes::sample().frame());
        const QVector<quint32> pid{250, 17, 12345, quint32(-5000), 7};
        const DeviceProfile saved = DeviceProfile::fromDevice(status, pid, true);
        QCOMPARE(saved.thresholdTenths, qint16(455));
        QCOMPARE(saved.pidWords, (QVector<quint32>{12345, quint32(-5000), 7}));

        // Through the file's text form and back: every value exact.
        const QByteArray text = QJsonDocument(saved.toJson()).toJson();
        DeviceProfile loaded;
        QString error;
        QVERIFY2(DeviceProfile::fromJson(QJsonDocument::fromJson(text).object(), &loaded, &error), qPrintable(error));
        QCOMPARE(loaded.thresholdTenths, saved.thresholdTenths);
        QCOMPARE(loaded.power, saved.power);
        QCOMPARE(loaded.maxDac, saved.maxDac);
        QCOMPARE(loaded.compensationHours, saved.compensationHours);
        QCOMPARE(loaded.laserType, saved.laserType);
        QCOMPARE(loaded.pidWords, saved.pidWords);
        QCOMPARE(loaded.serialRecord, QByteArray::fromHex("010203180709002A"));
        QVERIFY(text.contains("\"kp\": 1.2345"));
        QVERIFY(text.contains("\"ki\": -0.5"));

        // Without the serial number the record stays out of the file.
        QVERIFY(!DeviceProfile::fromDevice(status, pid, false).toJson().contains("serial_record"));
    }

    void profileRejectsWhatCannotBeSent()
    {
        DeviceProfile sendable;
        sendable.thresholdTenths = 400; // 40.0 degrees: the window's range starts at 20.0
        QJsonObject good = sendable.toJson();
        DeviceProfile p;
        QString error;
        QVERIFY(DeviceProfile::fromJson(good, &p, &error));
        const QList<QPair<QString, QJsonValue>> bad{
            {"laser_type", 3}, {"power", -1}, {"max_dac", 4096}, {"compensation_hours", 65536},
            {"temp_threshold_c", 40.25}, {"power", "100"}, {"korvex_profile", 2}, {"serial_record", "0102"}};
        for (const auto &b : bad) {
            QJsonObject o = good;
            o.insert(b.first, b.second);
            QVERIFY2(!DeviceProfile::fromJson(o, &p, &error), qPrintable(b.first));
            QVERIFY(!error.isEmpty());
        }
        QJsonObject pid = good;
        pid.insert("pid", QJsonObject{{"kp", 0.00001}, {"ki", 0}, {"kd", 0}}); // finer than the device keeps
        QVERIFY(!DeviceProfile::fromJson(pid, &p, &error));
    }

    void statusTextShowsEveryValueAndLamp()
    {
        DevStatusCache c;
        StatusDecoder::parseAllStatus(c, StatusBytes::sample().frame());
        const QStringList lines = StatusText::lines(c);
        QCOMPARE(lines.size(), 25);
        QVERIFY(lines.contains("Laser current:         1.234 A"));
        QVERIFY(lines.contains("Laser temperature:     -1.5 °C"));
        QVERIFY(lines.contains("Fan 1 alarm:           ALARM"));
        QVERIFY(lines.contains("Fan 2 alarm:           ok"));
        QVERIFY(lines.contains("Laser:                 on"));
        const QString compact = StatusText::compactLine(QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC), c);
        QVERIFY2(compact.startsWith("2026-01-01T00:00:00.000Z laser on power 640"), qPrintable(compact));
        QVERIFY2(compact.endsWith("FAN1-ALARM FAN3-ALARM"), qPrintable(compact));
    }

    void flashTableOneRowPerPort()
    {
        FlashCommand::PortResult a{"/dev/ttyUSB0", 0, "ok", 49229, 4.25};
        FlashCommand::PortResult b{"COM12", 3, "cancelled by the receiver", 1024, 0.5};
        const QStringList rows = FlashCommand::table({a, b}).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0).simplified(), QString("PORT BYTES SECONDS RESULT"));
        QCOMPARE(rows.at(1).simplified(), QString("/dev/ttyUSB0 49229 4.3 ok"));
        QCOMPARE(rows.at(2).simplified(), QString("COM12 1024 0.5 cancelled by the receiver"));
    }
};

QTEST_GUILESS_MAIN(TestCtlParts)
#include "tst_ctl_parts.moc"
