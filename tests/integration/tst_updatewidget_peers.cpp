// The update window against real peers: the simulated laser's boot loader
// and lrzsz's sb and rb, each on the device side of a pseudo-terminal.

#include "SimProcess.h"
#include "TestFiles.h"
#include "UpdateTestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray randomBytes(int n, quint32 seed)
{
    QByteArray out(n, '\0');
    quint32 x = seed;
    for (int i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        out[i] = char(x >> 24);
    }
    return out;
}

QPushButton *button(QWidget *w, const char *name) { return w->findChild<QPushButton *>(name); }

const QByteArray StatusQuery = QByteArray::fromHex("0100C1019188");

} // namespace

class TestUpdateWidgetPeers : public QObject
{
    Q_OBJECT

private slots:
    void sendsFirmwareToSimulatedLaser();
    void sendsToRb();
    void sendsToRbOnATerminal();
    void receiveGoesOnAfterTheWindowIsClosed();

private:
    static void open(ScriptedUpdateWidget &w, const QString &port, const QString &baud = "115200")
    {
        w.setExtraPorts({port});
        w.findChild<QComboBox *>("comBaudRate")->setCurrentText(baud);
        button(&w, "comButton")->click();
        QCOMPARE(button(&w, "comButton")->text(), QString::fromUtf8("关闭串口"));
    }
};

void TestUpdateWidgetPeers::sendsFirmwareToSimulatedLaser()
{
    QTemporaryDir work;
    const QString firmwareDir = work.filePath("device");
    QVERIFY(QDir().mkpath(firmwareDir));
    SimProcess sim({"--firmware-dir", firmwareDir});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));

    const QByteArray image = randomBytes(20000 + 77, 7);
    const QString source = work.filePath("laser-fw-2.1.bin");
    QVERIFY(writeFile(source, image));

    MessageCatcher catcher;
    ScriptedUpdateWidget w;
    w.show();
    open(w, sim.ptyPath());
    w.nextFile = source;
    button(&w, "transmitBrowse")->click();
    QList<int> progress;
    auto *bar = w.findChild<QProgressBar *>("transmitProgress");
    connect(bar, &QProgressBar::valueChanged, this, [&](int v) { progress << v; });
    button(&w, "transmitButton")->click();
    QCOMPARE(button(&w, "transmitButton")->text(), QString::fromUtf8("取消"));
    QTRY_COMPARE_WITH_TIMEOUT(catcher.seen.size(), 1, 30000);
    QCOMPARE(catcher.seen[0].title, QString::fromUtf8("成功"));
    QCOMPARE(catcher.seen[0].text, QString::fromUtf8("文件发送成功！"));
    QCOMPARE(catcher.seen[0].icon, QMessageBox::Warning);
    QCOMPARE(catcher.seen[0].buttons, QStringList{QString::fromUtf8("关闭")});
    QCOMPARE(bar->value(), 100);
    QVERIFY(progress.size() >= 10); // one step per block, rising
    for (int i = 1; i < progress.size(); ++i)
        QVERIFY(progress[i] >= progress[i - 1]);
    // A finished send returns to the port layout.
    QCOMPARE(button(&w, "comButton")->text(), QString::fromUtf8("打开串口"));
    QVERIFY(!button(&w, "transmitButton")->isEnabled());
    QVERIFY(w.findChild<QComboBox *>("comPort")->isEnabled());

    QTRY_COMPARE(readFile(firmwareDir + "/laser-fw-2.1.bin"), image);

    // The device answers commands again on the same line.
    QSerialPort host(sim.ptyPath());
    QVERIFY(host.open(QIODevice::ReadWrite));
    host.clear();
    host.write(StatusQuery);
    QByteArray reply;
    QElapsedTimer t;
    t.start();
    while (reply.size() < 61 && t.elapsed() < 3000) {
        host.waitForReadyRead(100);
        reply += host.readAll();
    }
    QVERIFY2(reply.startsWith(QByteArray::fromHex("0100C1")), reply.toHex().constData());
}

void TestUpdateWidgetPeers::sendsToRb()
{
    LrzszPeer peer;
    QVERIFY(peer.isValid());
    QTemporaryDir work;
    QVERIFY(QDir().mkpath(work.filePath("in")));
    const QByteArray image = randomBytes(5000, 3);
    const QString source = work.filePath("image.bin");
    QVERIFY(writeFile(source, image));

    MessageCatcher catcher;
    ScriptedUpdateWidget w;
    open(w, peer.slavePath());
    w.nextFile = source;
    button(&w, "transmitBrowse")->click();
    QVERIFY(peer.start("rb -q", work.filePath("in")));
    button(&w, "transmitButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(catcher.seen.size(), 1, 40000);
    QCOMPARE(catcher.seen[0].text, QString::fromUtf8("文件发送成功！"));
    QTRY_VERIFY_WITH_TIMEOUT(peer.process.state() == QProcess::NotRunning, 10000);
    QCOMPARE(peer.process.exitCode(), 0);
    QCOMPARE(readFile(work.filePath("in/image.bin")), image);
}

void TestUpdateWidgetPeers::sendsToRbOnATerminal()
{
    // rb with its terminal on a pty loses its last ACK (of the closing
    // header) when it exits; it has acknowledged the end of the file before,
    // so the window reports success, and soon.
    QTemporaryDir work;
    QVERIFY(QDir().mkpath(work.filePath("in")));
    const QString a = work.filePath("a"), b = work.filePath("b");
    TiedProcess cable;
    cable.start("socat", {"pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(a) && QFileInfo::exists(b), 5000);
    const QByteArray image = randomBytes(5000, 4);
    const QString source = work.filePath("image.bin");
    QVERIFY(writeFile(source, image));

    MessageCatcher catcher;
    ScriptedUpdateWidget w;
    open(w, a);
    w.nextFile = source;
    button(&w, "transmitBrowse")->click();
    TiedProcess rb;
    rb.setWorkingDirectory(work.filePath("in"));
    rb.setStandardInputFile(b);
    rb.setStandardOutputFile(b);
    rb.start("rb", {"--ymodem", "-q"});
    QVERIFY(rb.waitForStarted(5000));
    QElapsedTimer clock;
    clock.start();
    button(&w, "transmitButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(catcher.seen.size(), 1, 60000);
    QCOMPARE(catcher.seen[0].text, QString::fromUtf8("文件发送成功！"));
    QVERIFY2(clock.elapsed() < 20000, "the closing header's lost ACK is not waited out");
    QVERIFY(rb.state() == QProcess::NotRunning || rb.waitForFinished(10000));
    QCOMPARE(rb.exitCode(), 0);
    QCOMPARE(readFile(work.filePath("in/image.bin")), image);
    cable.terminate();
    cable.waitForFinished(3000);
}

void TestUpdateWidgetPeers::receiveGoesOnAfterTheWindowIsClosed()
{
    LrzszPeer peer;
    QVERIFY(peer.isValid());
    QTemporaryDir work;
    QVERIFY(QDir().mkpath(work.filePath("out")));
    QVERIFY(QDir().mkpath(work.filePath("in")));
    const QByteArray log = randomBytes(3333, 11);
    QVERIFY(writeFile(work.filePath("out/device.log"), log));

    MessageCatcher catcher;
    ScriptedUpdateWidget w;
    w.show();
    open(w, peer.slavePath());
    w.nextDirectory = work.filePath("in");
    button(&w, "receiveBrowse")->click();
    button(&w, "receiveButton")->click();
    QCOMPARE(button(&w, "receiveButton")->text(), QString::fromUtf8("取消"));
    QVERIFY(w.close());
    QTest::qWait(300);
    QVERIFY(catcher.seen.isEmpty()); // not stopped by the close

    QVERIFY(peer.start("sb -q device.log", work.filePath("out")));
    QTRY_COMPARE_WITH_TIMEOUT(catcher.seen.size(), 1, 40000);
    QCOMPARE(catcher.seen[0].title, QString::fromUtf8("成功"));
    QCOMPARE(catcher.seen[0].text, QString::fromUtf8("文件接收成功！"));
    QCOMPARE(readFile(work.filePath("in/device.log")), log);
    QCOMPARE(w.findChild<QProgressBar *>("receiveProgress")->value(), 100);
    // A receive leaves the port-open layout; no send path was chosen.
    QCOMPARE(button(&w, "comButton")->text(), QString::fromUtf8("关闭串口"));
    QVERIFY(button(&w, "comButton")->isEnabled());
    QVERIFY(button(&w, "receiveButton")->isEnabled());
    QCOMPARE(button(&w, "receiveButton")->text(), QString::fromUtf8("接收"));
    QVERIFY(button(&w, "transmitBrowse")->isEnabled());
    QVERIFY(!button(&w, "transmitButton")->isEnabled());
    QVERIFY(!w.findChild<QComboBox *>("comPort")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(peer.process.state() == QProcess::NotRunning, 10000);
}

QTEST_MAIN(TestUpdateWidgetPeers)
#include "tst_updatewidget_peers.moc"
