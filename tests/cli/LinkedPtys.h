#ifndef KORVEX_TESTS_LINKEDPTYS_H
#define KORVEX_TESTS_LINKEDPTYS_H

// Serial "cables" made by socat, for programs that open a port by name.
//
// LinkedPtys: two ptys joined, one port name at each end.
// PtyToCommand: one pty whose far end is a command's stdin/stdout (lrzsz).
// lrzsz tools flush their terminal on exit; on a pty that can discard their
// last byte (rb's final ACK) before the relay has read it, which a real
// UART does not do. Running them on socat's socket pair avoids that.

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "TiedProcess.h"

class LinkedPtys
{
public:
    LinkedPtys()
    {
        a = dir.filePath("a");
        b = dir.filePath("b");
        socat.start("socat", {QStringLiteral("pty,raw,echo=0,link=%1").arg(a),
                              QStringLiteral("pty,raw,echo=0,link=%1").arg(b)});
        waitFor({a, b});
    }
    ~LinkedPtys()
    {
        socat.terminate();
        socat.waitForFinished(3000);
    }
    bool isValid() const { return QFileInfo::exists(a) && QFileInfo::exists(b); }

    static void waitFor(const QStringList &paths)
    {
        QElapsedTimer t;
        t.start();
        for (const QString &p : paths)
            while (t.elapsed() < 5000 && !QFileInfo::exists(p))
                QThread::msleep(20);
    }

    QTemporaryDir dir;
    QString a, b;
    TiedProcess socat; // ends with the test, even a crashed one
};

class PtyToCommand
{
public:
    PtyToCommand(const QString &command, const QString &workDir)
    {
        port = dir.filePath("port");
        socat.setWorkingDirectory(workDir);
        socat.start("socat", {QStringLiteral("pty,raw,echo=0,link=%1").arg(port),
                              QStringLiteral("EXEC:%1").arg(command)});
        LinkedPtys::waitFor({port});
    }
    ~PtyToCommand()
    {
        if (socat.state() != QProcess::NotRunning) {
            socat.terminate();
            socat.waitForFinished(3000);
        }
    }
    bool isValid() const { return QFileInfo::exists(port); }
    bool waitForEnd(int ms) { return socat.state() == QProcess::NotRunning || socat.waitForFinished(ms); }

    QTemporaryDir dir;
    QString port;
    TiedProcess socat; // ends with the test, even a crashed one
};

#endif
