#ifndef KORVEX_DEMOSIMULATOR_H
#define KORVEX_DEMOSIMULATOR_H

#include <QString>
#include <QStringList>

class QProcess;

// The simulated laser the demo runs beside its window: korvex-sim found
// beside this program (a build folder, or an installed bin/), else on PATH.
namespace DemoSimulator {

// Starts it on a pseudo-terminal and returns the pty path it announces
// ("" on failure). Its boot loader keeps firmware images in firmwareDir.
QString start(QProcess &sim, const QString &firmwareDir, const QStringList &extraArgs = {});
void stop(QProcess &sim);

} // namespace DemoSimulator

#endif
