// korvexctl profile: a device's settings saved and applied to a fresh device
// reproduce them; apply prints each write and stops at the first failure.

#include "CtlRun.h"
#include "Protocol.h"
#include "SimProcess.h"
#include "TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <sys/stat.h>

class TestKorvexctlProfile : public QObject
{
    Q_OBJECT

private:
    static bool configure(const QString &port)
    {
        const QList<QStringList> writes{
            {"threshold", "42.5"},
            {"power", "640"},
            {"--factory", "max-dac", "3900"},
            {"--factory", "compensation", "36"},
            {"--factory", "laser-type", "2"},
            {"--factory", "pid", "set", "1.2345", "-0.5", "0.0007"},
            {"--factory", "serial-number", "66051", "2024-07-09", "42"}};
        for (const QStringList &w : writes) {
            const CtlRun r(QStringList{"--port", port} + w);
            if (r.exitCode != 0) {
                qWarning("%s", r.describe().constData());
                return false;
            }
        }
        return true;
    }

    // A valid profile with one piece of its text replaced.
    static QByteArray valid(const char *from, const char *to)
    {
        return QByteArray("{\"korvex_profile\":1,\"temp_threshold_c\":40,\"power\":100,\"max_dac\":3000,"
                          "\"compensation_hours\":0,\"laser_type\":0,\"pid\":{\"kp\":1,\"ki\":0,\"kd\":0}}")
            .replace(from, to);
    }

    static QJsonObject readJson(const QString &path)
    {
        return QJsonDocument::fromJson(readFile(path)).object();
    }

private slots:
    void saveThenApplyReproducesTheSettings()
    {
        QTemporaryDir dir;
        const QString saved = dir.filePath("unit.json");
        const QString copy = dir.filePath("copy.json");
        {
            SimProcess source;
            QVERIFY2(source.isRunning(), qPrintable(source.errorText()));
            QVERIFY(configure(source.ptyPath()));
            const CtlRun save({"--factory", "--port", source.ptyPath(), "profile", "save", saved, "--with-serial"});
            QVERIFY2(save.exitCode == 0, save.describe());
        }
        const QJsonObject profile = readJson(saved);
        QCOMPARE(profile["temp_threshold_c"].toDouble(), 42.5);
        QCOMPARE(profile["power"].toInt(), 640);
        QCOMPARE(profile["max_dac"].toInt(), 3900);
        QCOMPARE(profile["compensation_hours"].toInt(), 36);
        QCOMPARE(profile["laser_type"].toInt(), 2);
        QCOMPARE(profile["pid"].toObject()["kp"].toDouble(), 1.2345);
        QCOMPARE(profile["pid"].toObject()["ki"].toDouble(), -0.5);
        QCOMPARE(profile["serial_number"].toString(), QString("66051-202407090042"));

        SimProcess fresh;
        QVERIFY2(fresh.isRunning(), qPrintable(fresh.errorText()));
        const CtlRun apply({"--factory", "--port", fresh.ptyPath(), "profile", "apply", saved, "--with-serial"});
        QVERIFY2(apply.exitCode == 0, apply.describe());
        const QStringList printed = apply.out.trimmed().split('\n');
        QCOMPARE(printed.size(), 7);
        for (const QString &line : printed)
            QVERIFY2(line.endsWith(": done"), qPrintable(line));
        QCOMPARE(fresh.receivedFrames().size(), 1 + 7); // the target's status, then the writes

        const CtlRun again({"--factory", "--port", fresh.ptyPath(), "profile", "save", copy, "--with-serial"});
        QVERIFY2(again.exitCode == 0, again.describe());
        QCOMPARE(readJson(copy), profile);
    }

    void serialNumberOnlyWhenAsked()
    {
        QTemporaryDir dir;
        const QString saved = dir.filePath("unit.json");
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun save({"--factory", "--port", sim.ptyPath(), "profile", "save", saved});
        QVERIFY2(save.exitCode == 0, save.describe());
        QVERIFY(!readJson(saved).contains("serial_number"));
        QVERIFY(!readJson(saved).contains("serial_record"));
        // Such a profile cannot restore a serial number.
        const CtlRun apply({"--factory", "--port", sim.ptyPath(), "profile", "apply", saved, "--with-serial"});
        QCOMPARE(apply.exitCode, 2);
    }

    void dryRunSendsNothing()
    {
        QTemporaryDir dir;
        const QString saved = dir.filePath("unit.json");
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        QVERIFY(CtlRun({"--factory", "--port", sim.ptyPath(), "profile", "save", saved}).exitCode == 0);
        const int before = sim.receivedFrames().size();
        const CtlRun dry({"--factory", "--port", sim.ptyPath(), "profile", "apply", saved, "--dry-run"});
        QVERIFY2(dry.exitCode == 0, dry.describe());
        QCOMPARE(dry.out.count("would be written"), 6);
        QTest::qWait(50);
        // It reads the target (status and PID, as save does) and writes nothing.
        QCOMPARE(sim.receivedFrames().mid(before), sim.receivedFrames().mid(0, 2));
        // Without any port at all, too.
        QCOMPARE(CtlRun({"--factory", "profile", "apply", saved, "--dry-run"}).exitCode, 0);
    }

    void applyStopsAtTheFirstFailure()
    {
        QTemporaryDir dir;
        const QString saved = dir.filePath("unit.json");
        {
            SimProcess source;
            QVERIFY2(source.isRunning(), qPrintable(source.errorText()));
            QVERIFY(CtlRun({"--factory", "--port", source.ptyPath(), "profile", "save", saved}).exitCode == 0);
        }
        SimProcess refusing({"--refuse", "0x00A1"}); // the saved maximum DAC
        QVERIFY2(refusing.isRunning(), qPrintable(refusing.errorText()));
        const CtlRun apply({"--factory", "--port", refusing.ptyPath(), "profile", "apply", saved});
        QVERIFY2(apply.exitCode == 5, apply.describe());
        const QStringList printed = apply.out.trimmed().split('\n');
        QCOMPARE(printed.size(), 3);
        QVERIFY(printed.at(0).startsWith("threshold ") && printed.at(0).endsWith(": done"));
        QVERIFY(printed.at(1).startsWith("power ") && printed.at(1).endsWith(": done"));
        QVERIFY2(printed.at(2).startsWith("max-dac 3000: failed"), qPrintable(printed.at(2)));
        QTest::qWait(50);
        const QList<QByteArray> frames = refusing.receivedFrames();
        QCOMPARE(frames.size(), 1 + 3); // the target's status, then the writes
        QCOMPARE(frames.last(), Protocol().packFrame(0x00A1, QByteArray::fromHex("0BB8")));
    }

    void brokenProfilesAreBadArguments_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("named"); // what the refusal must name
        QTest::newRow("not json") << QByteArray("threshold=40") << QString();
        QTest::newRow("not a profile") << QByteArray("{\"power\": 1}") << QString();
        QTest::newRow("power out of range")
            << QByteArray("{\"korvex_profile\":1,\"temp_threshold_c\":40,\"power\":1200,\"max_dac\":3000,"
                          "\"compensation_hours\":0,\"laser_type\":0,\"pid\":{\"kp\":1,\"ki\":0,\"kd\":0}}") << QString();
        QTest::newRow("threshold in hundredths")
            << QByteArray("{\"korvex_profile\":1,\"temp_threshold_c\":40.05,\"power\":100,\"max_dac\":3000,"
                          "\"compensation_hours\":0,\"laser_type\":0,\"pid\":{\"kp\":1,\"ki\":0,\"kd\":0}}") << QString();
        QTest::newRow("pid missing")
            << QByteArray("{\"korvex_profile\":1,\"temp_threshold_c\":40,\"power\":100,\"max_dac\":3000,"
                          "\"compensation_hours\":0,\"laser_type\":0}") << QString();
        // The window's guards hold for a profile too: one bad value, nothing sent.
        QTest::newRow("threshold 99 disables the protection") << valid("\"temp_threshold_c\":40", "\"temp_threshold_c\":99") << "temp_threshold_c";
        QTest::newRow("threshold 0 trips it") << valid("\"temp_threshold_c\":40", "\"temp_threshold_c\":0") << "temp_threshold_c";
        QTest::newRow("threshold -40") << valid("\"temp_threshold_c\":40", "\"temp_threshold_c\":-40") << "temp_threshold_c";
        QTest::newRow("pid beyond 32 bits") << valid("\"kp\":1", "\"kp\":300000") << "kp";
        QTest::newRow("pid 1e30") << valid("\"kp\":1", "\"kp\":1e30") << "kp";
        QTest::newRow("unknown key") << valid("\"power\":100", "\"power\":100,\"powr\":5") << "powr";
        QTest::newRow("unknown pid key") << valid("\"kp\":1", "\"kp\":1,\"kx\":1") << "kx";
        QTest::newRow("repeated key") << valid("\"power\":100", "\"power\":100,\"power\":900") << "twice";
        QTest::newRow("repeated empty key") << valid("\"power\":100", "\"power\":100,\"\":{},\"\":0") << "\"\" appears twice";
        QTest::newRow("json array") << QByteArray("[1, 2]") << "array";
        // What is wrong is said where it is, whole, in one line.
        QTest::newRow("NUL in a key") << valid("\"power\":100", "\"power\":100,\"po\\u0000wr\":5") << "\"po\\u0000wr\"\n";
        QTest::newRow("version 2") << valid("\"korvex_profile\":1", "\"korvex_profile\":2") << "version 2 not supported";
        QTest::newRow("broken JSON on line 3") << QByteArray("{\"korvex_profile\": 1,\n\"power\": 100,\n\"max_dac\": }")
                                              << "at line 3, column ";
    }

    void brokenProfilesAreBadArguments()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString path = dir.filePath("bad.json");
        QVERIFY(writeFile(path, content));
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        const CtlRun apply({"--factory", "--port", sim.ptyPath(), "profile", "apply", path});
        QVERIFY2(apply.exitCode == 2, apply.describe());
        QVERIFY2(apply.err.contains(named) && !apply.err.contains("no error occurred"), apply.describe());
        QTest::qWait(50);
        QCOMPARE(sim.receivedFrames().size(), 0);
    }

    void unusableFilesAreRefusedWithoutHarm()
    {
        SimProcess sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
        // Endless input is bounded, not read until memory runs out.
        const CtlRun endless({"--factory", "--port", sim.ptyPath(), "profile", "apply", "/dev/zero"});
        QVERIFY2(endless.exitCode == 2 && endless.err.contains("larger than"), endless.describe());
        // Only a regular file is written: a FIFO stays a FIFO, nothing is read from the unit.
        QTemporaryDir dir;
        const QString fifo = dir.filePath("fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const CtlRun save({"--factory", "--port", sim.ptyPath(), "profile", "save", fifo});
        QVERIFY2(save.exitCode == 2 && save.err.contains("not a regular file"), save.describe());
        QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
        QTest::qWait(50);
        QCOMPARE(sim.receivedFrames().size(), 0);
        // "-" is stdout.
        const CtlRun out({"--factory", "--port", sim.ptyPath(), "profile", "save", "-"});
        QVERIFY2(out.exitCode == 0, out.describe());
        QCOMPARE(QJsonDocument::fromJson(out.out.toUtf8()).object().value("korvex_profile").toInt(), 1);
    }

    void aProfileIsAppliedAsTypedAndSaysWhereItCameFrom()
    {
        // The profile's 2.0001 reaches the device as pid set 2.0001 does: 20001.
        QTemporaryDir dir;
        const QString path = dir.filePath("p.json");
        QVERIFY(writeFile(path, valid("\"kp\":1", "\"kp\":2.0001")));
        SimProcess typed;
        QVERIFY2(typed.isRunning(), qPrintable(typed.errorText()));
        QVERIFY(CtlRun({"--factory", "--port", typed.ptyPath(), "pid", "set", "2.0001", "0", "0"}).exitCode == 0);
        SimProcess applied;
        QVERIFY2(applied.isRunning(), qPrintable(applied.errorText()));
        const CtlRun apply({"--factory", "--port", applied.ptyPath(), "profile", "apply", path});
        QVERIFY2(apply.exitCode == 0, apply.describe());
        QCOMPARE(applied.receivedFrames().last(), typed.receivedFrames().last());

        // A profile saved from one unit, applied to another: said, and refused with --strict.
        const QString saved = dir.filePath("saved.json");
        QVERIFY(configure(typed.ptyPath()));
        QVERIFY(CtlRun({"--factory", "--port", typed.ptyPath(), "profile", "save", saved}).exitCode == 0);
        const QJsonObject source = readJson(saved).value("source").toObject();
        QCOMPARE(source.value("serial_number").toString(), QString("66051-202407090042"));
        QVERIFY(!source.value("firmware").toString().isEmpty());
        const int before = applied.receivedFrames().size();
        const CtlRun strict({"--factory", "--port", applied.ptyPath(), "profile", "apply", saved, "--strict"});
        QVERIFY2(strict.exitCode == 5 && strict.err.contains("serial number"), strict.describe());
        QCOMPARE(applied.receivedFrames().size(), before + 1); // the status read only
        const CtlRun loose({"--factory", "--port", applied.ptyPath(), "profile", "apply", saved});
        QVERIFY2(loose.exitCode == 0 && loose.err.contains("differs"), loose.describe());
    }
};

QTEST_GUILESS_MAIN(TestKorvexctlProfile)
#include "tst_korvexctl_profile.moc"
