// korvexctl against korvex-sim: every command sends its frame byte for byte,
// and what the device then reports (status --json) is what it was told.

#include "CtlRun.h"
#include "Protocol.h"
#include "SimProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class TestKorvexctlCommands : public QObject
{
    Q_OBJECT

private:
    static QByteArray frame(quint16 word, const char *hexData)
    {
        return Protocol().packFrame(word, QByteArray::fromHex(hexData));
    }

    static QJsonObject statusJson(const QString &port)
    {
        const CtlRun r({"--port", port, "status", "--json"});
        if (r.exitCode != 0)
            return QJsonObject{{"error", QString::fromLocal8Bit(r.describe())}};
        return QJsonDocument::fromJson(r.out.toUtf8()).object();
    }

private slots:
    void commandSendsItsFrame_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("laser on") << QStringList{"laser", "on"} << frame(0x0011, "01");
        QTest::newRow("laser off") << QStringList{"laser", "off"} << frame(0x0011, "00");
        QTest::newRow("power") << QStringList{"power", "640"} << frame(0x0012, "0280");
        QTest::newRow("power 0") << QStringList{"power", "0"} << frame(0x0012, "0000");
        QTest::newRow("threshold") << QStringList{"threshold", "45.5"} << frame(0x0013, "01C7");
        QTest::newRow("threshold whole") << QStringList{"threshold", "20"} << frame(0x0013, "00C8");
        QTest::newRow("restart") << QStringList{"restart"} << frame(0x0001, "5AA5");
        QTest::newRow("clear-counters") << QStringList{"clear-counters"} << frame(0x0014, "0000000000000000");
        QTest::newRow("max-dac") << QStringList{"max-dac", "3900"} << frame(0x00A1, "0F3C");
        QTest::newRow("max-dac no save") << QStringList{"max-dac", "3901", "--no-save"} << frame(0x00A2, "0F3D");
        QTest::newRow("compensation") << QStringList{"compensation", "65535"} << frame(0x00A3, "0000FFFF");
        QTest::newRow("laser-type") << QStringList{"laser-type", "2"} << frame(0x00A8, "02");
        QTest::newRow("tec on") << QStringList{"tec", "on"} << frame(0x00A4, "01");
        QTest::newRow("tec off") << QStringList{"tec", "off"} << frame(0x00A4, "00");
        QTest::newRow("tec auto on") << QStringList{"tec", "auto", "on"} << frame(0x00A6, "01");
        QTest::newRow("tec auto off") << QStringList{"tec", "auto", "off"} << frame(0x00A6, "00");
        QTest::newRow("tec dac") << QStringList{"tec", "dac", "1234"} << frame(0x00A5, "04D2");
        QTest::newRow("fan auto on") << QStringList{"fan", "auto", "on"} << frame(0x00A7, "01FFFF");
        QTest::newRow("fan auto off") << QStringList{"fan", "auto", "off"} << frame(0x00A7, "00FFFF");
        QTest::newRow("fan pwm") << QStringList{"fan", "pwm", "750"} << frame(0x00A7, "FF02EE");
        // Negative coefficients are numbers, not options.
        QTest::newRow("pid set") << QStringList{"pid", "set", "1.5", "-0.25", "0.0001"}
                                 << frame(0xA010, "00003A98FFFFF63C00000001");
        QTest::newRow("pid get") << QStringList{"pid", "get"} << frame(0xA111, "00");
        QTest::newRow("serial-number") << QStringList{"serial-number", "1234567", "2024-03-05", "12"}
                                       << frame(0x0015, "12D687180305000C");
        QTest::newRow("serial-number raw") << QStringList{"serial-number", "--raw", "010203180709002a"}
                                           << frame(0x0015, "010203180709002A");
        QTest::newRow("status") << QStringList{"status"} << frame(0x00C1, "01");
        QTest::newRow("status json") << QStringList{"status", "--json"} << frame(0x00C1, "01");
    }

    void commandSendsItsFrame()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, expected);
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        // Options may stand before and after the command.
        const CtlRun r(QStringList{"--factory", "--port", sim.ptyPath()} + args);
        QVERIFY2(r.exitCode == 0, r.describe());
        QVERIFY2(r.err.isEmpty(), r.describe());
        QVERIFY(sim.waitForFrames(1));
        QCOMPARE(sim.receivedFrames(), QList<QByteArray>{expected});
    }

    void statusJsonIsTheDevicesState()
    {
        SimProcess sim({"--firmware", "2.7", "--ld-type", "1", "--run-seconds", "7200"});
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const QString port = sim.ptyPath();
        const QList<QStringList> writes{
            {"power", "640"}, {"threshold", "42.5"}, {"laser", "on"},
            {"--factory", "max-dac", "3900"}, {"--factory", "compensation", "36"},
            {"--factory", "serial-number", "66051", "2024-07-09", "42"}};
        for (const QStringList &w : writes) {
            const CtlRun r(QStringList{"--port", port} + w);
            QVERIFY2(r.exitCode == 0, r.describe());
            QCOMPARE(r.out.count("done"), 1);
        }
        const QJsonObject o = statusJson(port);
        QVERIFY2(!o.contains("error"), qPrintable(o.value("error").toString()));
        QCOMPARE(o.size(), 19);
        QCOMPARE(o["firmware"].toString(), QString("2.7"));
        QCOMPARE(o["laser_on"].toBool(), true);
        QCOMPARE(o["power"].toInt(), 640);
        QCOMPARE(o["temp_threshold_c"].toDouble(), 42.5);
        QCOMPARE(o["max_dac"].toInt(), 3900);
        QCOMPARE(o["compensation_hours"].toInt(), 36);
        QCOMPARE(o["serial_number"].toString(), QString("66051-202407090042"));
        QCOMPARE(o["laser_type"].toInt(), 1);
        QVERIFY(o["run_seconds"].toDouble() >= 7200 && o["run_seconds"].toDouble() < 7260);
        // The device counts every request it received: 6 writes and this query.
        QCOMPARE(o["rx_frames"].toInt(), 7);
        QCOMPARE(o["fan_rpm"].toArray().size(), 3);
        const QJsonObject alarms = o["alarms"].toObject();
        QCOMPARE(alarms.keys(), (QStringList{"fan1", "fan2", "fan3", "temperature"}));
        for (const char *key : {"laser_current_a", "tec_current_a", "laser_temp_c", "temp2_c", "mcu_temp_c",
                                "ambient_temp_c", "tx_frames"})
            QVERIFY2(o[key].isDouble(), key);

        // The text form shows the same values with labels and units.
        const CtlRun text({"--port", port, "status"});
        QVERIFY2(text.exitCode == 0, text.describe());
        QCOMPARE(text.out.trimmed().split('\n').size(), 19 + 6);
        QVERIFY(text.out.contains(QRegularExpression("Temperature threshold: +42\\.5 °C")));
        QVERIFY(text.out.contains(QRegularExpression("Serial number: +66051-202407090042")));
        QVERIFY(text.out.contains(QRegularExpression("Laser: +on")));
        QVERIFY(text.out.contains(QRegularExpression("Laser type: +Ld-30W \\(code 1\\)")));
    }

    void pidGetReadsWhatPidSetWrote()
    {
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun set({"--factory", "--port", sim.ptyPath(), "pid", "set", "2.5", "-0.125", "0.0003"});
        QVERIFY2(set.exitCode == 0, set.describe());
        const CtlRun get({"--factory", "--port", sim.ptyPath(), "pid", "get", "--json"});
        QVERIFY2(get.exitCode == 0, get.describe());
        const QJsonObject o = QJsonDocument::fromJson(get.out.toUtf8()).object();
        QCOMPARE(o["kp"].toDouble(), 2.5);
        QCOMPARE(o["ki"].toDouble(), -0.125);
        QCOMPARE(o["kd"].toDouble(), 0.0003);
        QVERIFY(o.contains("temperature") && o.contains("output"));
    }

    void helpDescribesEveryCommand()
    {
        const CtlRun help({"--help"});
        QCOMPARE(help.exitCode, 0);
        const QStringList commands{"ports", "status", "watch", "laser", "power", "threshold", "restart",
                                   "clear-counters", "max-dac", "compensation", "serial-number", "laser-type",
                                   "tec", "fan", "pid", "profile", "send", "receive", "flash"};
        for (const QString &c : commands) {
            QVERIFY2(help.out.contains("\n  " + c), qPrintable(c));
            const CtlRun one({"help", c});
            QVERIFY2(one.exitCode == 0, one.describe());
            QVERIFY2(one.out.startsWith("Usage: korvexctl [OPTIONS] " + c), one.describe());
            QVERIFY(one.out.contains("Exit codes"));
        }
        const CtlRun unknown({"help", "frobnicate"});
        QCOMPARE(unknown.exitCode, 2);
    }

    void portsListsWithoutAPort()
    {
        // Pseudo-terminals are never listed; the command still works.
        const CtlRun r({"ports"});
        QVERIFY2(r.exitCode == 0, r.describe());
        QVERIFY(!r.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestKorvexctlCommands)
#include "tst_korvexctl_commands.moc"
