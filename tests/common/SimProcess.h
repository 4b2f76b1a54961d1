#ifndef KORVEX_TESTS_SIMPROCESS_H
#define KORVEX_TESTS_SIMPROCESS_H

// Runs the simulated laser light source for a test:
//
//   SimProcess sim({"--refuse", "0x0012"});
//   QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
//   port.setPortName(sim.ptyPath());            // the terminal to open
//   ... exchange frames ...
//   QVERIFY(sim.waitForFrames(3));              // the device got 3 requests
//   QCOMPARE(sim.receivedFrames().last(), QByteArray::fromHex("0100C10191 88"));
//
// It starts $KORVEX_BUILD_DIR/korvex-sim --pty --log <temp file> [extra args],
// reads the terminal path from the first line of its stdout, and stops it
// with SIGTERM in the destructor (or in terminate(), which gives the exit code).
// The simulator also ends when the test process dies without reaching the
// destructor (a crash, SIGKILL): it would otherwise hold the pty and the
// test's stderr, which it shares, and CTest would wait for that pipe.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include "TiedProcess.h"

class SimProcess
{
public:
    explicit SimProcess(const QStringList &extraArgs = QStringList(), int startTimeoutMs = 10000)
    {
        if (!m_dir.isValid()) {
            m_error = QStringLiteral("no temporary directory");
            return;
        }
        m_logPath = m_dir.filePath(QStringLiteral("frames.log"));
        QStringList args{QStringLiteral("--pty"), QStringLiteral("--log"), m_logPath};
        args += extraArgs;
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program(), args);
        if (!m_process.waitForStarted(startTimeoutMs)) {
            m_error = QStringLiteral("cannot start %1: %2").arg(program(), m_process.errorString());
            return;
        }
        QElapsedTimer timer;
        timer.start();
        while (!m_process.canReadLine() && timer.elapsed() < startTimeoutMs
               && m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(int(qMax<qint64>(1, startTimeoutMs - timer.elapsed())));
        if (!m_process.canReadLine()) {
            m_error = QStringLiteral("korvex-sim printed no terminal path");
            return;
        }
        m_ptyPath = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }

    ~SimProcess() { terminate(); }

    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    static QString program()
    {
        return qEnvironmentVariable("KORVEX_BUILD_DIR", QStringLiteral(".")) + QStringLiteral("/korvex-sim");
    }

    bool isRunning() const { return !m_ptyPath.isEmpty() && m_process.state() == QProcess::Running; }
    QString errorText() const { return m_error; }
    QString ptyPath() const { return m_ptyPath; }
    QString logPath() const { return m_logPath; }
    QProcess &process() { return m_process; }

    // The request frames the device has received so far, in order.
    QList<QByteArray> receivedFrames() const
    {
        QList<QByteArray> frames;
        QFile f(m_logPath);
        if (!f.open(QIODevice::ReadOnly))
            return frames;
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QByteArray t = line.trimmed();
            if (!t.isEmpty())
                frames.append(QByteArray::fromHex(t));
        }
        return frames;
    }

    // Waits until at least n frames have been received (the log is written
    // as frames arrive); false on timeout.
    bool waitForFrames(int n, int timeoutMs = 5000) const
    {
        QElapsedTimer timer;
        timer.start();
        while (receivedFrames().size() < n) {
            if (timer.elapsed() > timeoutMs)
                return false;
            QThread::msleep(10);
        }
        return true;
    }

    // Stops the simulator with SIGTERM (SIGKILL if it does not end within
    // timeoutMs) and returns its exit code, or -1 if it did not exit normally.
    int terminate(int timeoutMs = 5000)
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(timeoutMs)) {
                m_process.kill();
                m_process.waitForFinished(timeoutMs);
                return -1;
            }
        }
        if (m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_process.exitCode();
    }

private:
    QTemporaryDir m_dir;
    QString m_logPath;
    QString m_ptyPath;
    QString m_error;
    TiedProcess m_process;
};

#endif
