// korvexctl flash: one image to three simulated boot loaders at once, one of
// them faulty (its image directory is gone, so it cancels the transfer).

#include "CtlRun.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <memory>

namespace {

// korvex-sim in boot loader mode; its stdout reports the saved images.
struct BootLoader
{
    explicit BootLoader(const QString &dir)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(qEnvironmentVariable("KORVEX_BUILD_DIR", ".") + "/korvex-sim",
                      {"--pty", "--firmware-dir", dir});
        process.waitForStarted(10000);
        QElapsedTimer t;
        t.start();
        while (!process.canReadLine() && t.elapsed() < 10000 && process.state() == QProcess::Running)
            process.waitForReadyRead(100);
        if (process.canReadLine())
            pty = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~BootLoader()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(5000);
    }
    QProcess process;
    QString pty;
};

} // namespace

class TestKorvexctlFlash : public QObject
{
    Q_OBJECT

private slots:
    void threeAtOnceOneFaulty()
    {
        QTemporaryDir work;
        const QByteArray image = pattern(48 * 1024 + 77, 5);
        const QString imagePath = work.filePath("fw-2.8.bin");
        QVERIFY(writeFile(imagePath, image));
        QStringList dirs;
        std::vector<std::unique_ptr<BootLoader>> loaders;
        for (int i = 0; i < 3; ++i) {
            dirs.append(work.filePath(QStringLiteral("unit%1").arg(i)));
            QVERIFY(QDir().mkpath(dirs.last()));
            loaders.push_back(std::make_unique<BootLoader>(dirs.last()));
            QVERIFY(!loaders.back()->pty.isEmpty());
        }
        // The third boot loader cannot store the image: it refuses the header.
        QVERIFY(QDir(dirs.at(2)).removeRecursively());

        const CtlRun r({"flash", imagePath, "--port", loaders[0]->pty, "--port", loaders[1]->pty, "--port",
                        loaders[2]->pty},
                       120000);
        QVERIFY2(r.exitCode != 0, r.describe());
        QVERIFY2(r.exitCode == 3 || r.exitCode == 5, r.describe());
        QCOMPARE(readFile(dirs.at(0) + "/fw-2.8.bin"), image);
        QCOMPARE(readFile(dirs.at(1) + "/fw-2.8.bin"), image);

        // The final table: a header and one row per port, in the given order.
        const QStringList rows = r.out.trimmed().split('\n');
        QCOMPARE(rows.size(), 4);
        QVERIFY(rows.at(0).startsWith("PORT"));
        for (int i = 0; i < 3; ++i) {
            const QStringList cells = rows.at(i + 1).simplified().split(' ');
            QCOMPARE(cells.at(0), loaders[i]->pty);
            if (i < 2) {
                QCOMPARE(cells.at(1).toLongLong(), qint64(image.size()));
                QCOMPARE(cells.at(3), QString("ok"));
            } else {
                QVERIFY2(cells.at(3) != "ok", qPrintable(rows.at(i + 1)));
            }
        }
        QVERIFY2(r.err.contains("flash: 1 of 3 ports failed"), r.describe());
        // A live line per port reached stderr.
        for (int i = 0; i < 3; ++i)
            QVERIFY2(r.err.contains(loaders[i]->pty + ": "), r.describe());
    }

    void missingPortFailsOnlyThatPort()
    {
        QTemporaryDir work;
        const QByteArray image = pattern(5000, 7);
        const QString imagePath = work.filePath("fw.bin");
        QVERIFY(writeFile(imagePath, image));
        QVERIFY(QDir().mkpath(work.filePath("ok")));
        BootLoader good(work.filePath("ok"));
        QVERIFY(!good.pty.isEmpty());
        const CtlRun r({"flash", imagePath, "--port", good.pty, "--port", "/dev/korvex-no-such-port"}, 120000);
        QVERIFY2(r.exitCode == 6, r.describe());
        QCOMPARE(readFile(work.filePath("ok/fw.bin")), image);
        QVERIFY(r.out.contains("port could not be opened"));
    }
};

QTEST_GUILESS_MAIN(TestKorvexctlFlash)
#include "tst_korvexctl_flash.moc"
