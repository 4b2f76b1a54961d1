#ifndef KORVEX_TESTS_COMMANDONPTY_H
#define KORVEX_TESTS_COMMANDONPTY_H

// A command (lrzsz's rb, say) on the device side of a PtyPair: what the port
// under test sends reaches the command's stdin, what the command writes
// reaches the port. It may join a line on which another peer spoke before,
// as a device that reset would. The relay runs on the event loop.

#include "PtyPair.h"
#include "TiedProcess.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QtTest>

class CommandOnPty
{
public:
    CommandOnPty(PtyPair &pty, const QString &program, const QStringList &args, const QString &workDir)
        : notifier(pty.masterFd(), QSocketNotifier::Read)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, &process, [&pty, this] {
            const QByteArray in = pty.readAvailable();
            if (!in.isEmpty() && process.state() == QProcess::Running)
                process.write(in);
        });
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                         [&pty, this] { pty.write(process.readAllStandardOutput()); });
        process.setWorkingDirectory(workDir);
        process.start(program, args);
    }
    ~CommandOnPty()
    {
        notifier.setEnabled(false);
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }

    // Relays until the command has ended; false when it still runs after ms.
    bool waitForEnd(int ms)
    {
        QElapsedTimer t;
        t.start();
        while (process.state() != QProcess::NotRunning && t.elapsed() < ms)
            QTest::qWait(5);
        return process.state() == QProcess::NotRunning;
    }
    int exitCode() const { return process.exitCode(); }

private:
    TiedProcess process; // ends with the test, even a crashed one
    QSocketNotifier notifier;
};

#endif
