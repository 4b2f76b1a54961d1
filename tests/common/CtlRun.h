#ifndef KORVEX_TESTS_CTLRUN_H
#define KORVEX_TESTS_CTLRUN_H

// Runs the built korvexctl once and keeps what it said:
//
//   const CtlRun r({"--port", sim.ptyPath(), "power", "640"});
//   QCOMPARE(r.exitCode, 0);
//   QVERIFY(r.out.contains("power 640: done"));

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>

struct CtlRun
{
    // How the run is set up beyond its arguments.
    struct Setup
    {
        QString stdoutFile;  // stdout goes there (e.g. /dev/full) instead of being kept
        int signalAfterMs = -1; // send `signo` this long after the start
        int signo = 0;
        QByteArray stdinData;   // written to its stdin before it is closed
        QString workingDirectory; // where it runs (default: here)
    };

    explicit CtlRun(const QStringList &args, int timeoutMs = 30000) : CtlRun(args, Setup(), timeoutMs) {}

    CtlRun(const QStringList &args, const Setup &setup, int timeoutMs = 30000)
    {
        QProcess p;
        if (!setup.stdoutFile.isEmpty())
            p.setStandardOutputFile(setup.stdoutFile, QIODevice::Append);
        QElapsedTimer clock;
        clock.start();
        if (!setup.workingDirectory.isEmpty())
            p.setWorkingDirectory(setup.workingDirectory);
        p.start(QFileInfo(program()).absoluteFilePath(), args);
        if (!p.waitForStarted(10000)) {
            err = QStringLiteral("korvexctl did not start: ") + p.errorString();
            return;
        }
        if (!setup.stdinData.isEmpty())
            p.write(setup.stdinData);
        p.closeWriteChannel();
        if (setup.signalAfterMs >= 0 && !p.waitForFinished(setup.signalAfterMs)) {
            signalledAtMs = clock.elapsed();
            ::kill(pid_t(p.processId()), setup.signo);
        }
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished(5000);
            err = QStringLiteral("korvexctl did not finish");
            return;
        }
        out = QString::fromUtf8(p.readAllStandardOutput());
        err = QString::fromUtf8(p.readAllStandardError());
        exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        finishedAtMs = clock.elapsed();
    }

    static QString program()
    {
        return qEnvironmentVariable("KORVEX_BUILD_DIR", QStringLiteral(".")) + QStringLiteral("/korvexctl");
    }

    // For QVERIFY2 messages.
    QByteArray describe() const
    {
        return QStringLiteral("exit %1\nstdout: %2\nstderr: %3").arg(exitCode).arg(out, err).toLocal8Bit();
    }

    int exitCode = -1;
    qint64 signalledAtMs = -1;
    qint64 finishedAtMs = -1;
    QString out;
    QString err;
};

#endif
