#include "DemoSimulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

namespace DemoSimulator {

namespace {
// The simulator beside this program (a build folder, or an installed bin/),
// else the one on PATH.
QString simulatorProgram()
{
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("korvex-sim"));
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStandardPaths::findExecutable(QStringLiteral("korvex-sim"));
}
} // namespace

// Starts the simulator and returns the pty path it announces ("" on failure).
QString start(QProcess &sim, const QString &firmwareDir, const QStringList &extraArgs)
{
    const QString program = simulatorProgram();
    if (program.isEmpty()) {
        std::fprintf(stderr, "korvex-demo: korvex-sim not found beside %s or on PATH\n",
                     qPrintable(QCoreApplication::applicationDirPath()));
        return QString();
    }
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Its boot loader takes firmware images sent from the update window.
    sim.start(program, QStringList{QStringLiteral("--pty"), QStringLiteral("--firmware-dir"), firmwareDir} + extraArgs);
    if (!sim.waitForStarted(5000))
        return QString();
    // The simulator names its pty on a line of its standard output.
    QElapsedTimer t;
    t.start();
    QByteArray seen;
    while (t.elapsed() < 5000) {
        if (!sim.canReadLine() && !sim.waitForReadyRead(200)) {
            if (sim.state() != QProcess::Running)
                break;
            continue;
        }
        while (sim.canReadLine()) {
            const QString line = QString::fromLocal8Bit(sim.readLine()).trimmed();
            const int at = line.indexOf(QStringLiteral("/dev/"));
            if (at >= 0)
                return line.mid(at).section(QLatin1Char(' '), 0, 0);
        }
    }
    return QString();
}

void stop(QProcess &sim)
{
    if (sim.state() == QProcess::NotRunning)
        return;
    sim.terminate();
    if (!sim.waitForFinished(2000)) {
        sim.kill();
        sim.waitForFinished(2000);
    }
}

} // namespace DemoSimulator
