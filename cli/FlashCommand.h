#ifndef KORVEX_FLASHCOMMAND_H
#define KORVEX_FLASHCOMMAND_H

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdio>

class YmodemFileTransmit;

// Gang flashing: the same image to several boot loaders at once, one YModem
// transfer per port, all running side by side on this thread's event loop.
// A live line per port goes to stderr (redrawn in place on a terminal), a
// final table (port, result, bytes, seconds) to stdout.
class FlashCommand
{
public:
    struct PortResult {
        QString port;
        int exitCode = -1;    // ExitCode value; -1 while running
        QString result;       // "ok" or why not
        quint64 bytes = 0;
        double seconds = 0;
    };

    FlashCommand(const QString &image, const QStringList &ports, int baud, FILE *progress, bool interactive);

    // How long a boot loader may take to ask for the image ("C") before its
    // port fails with "no boot loader answered" (a unit not in its boot loader).
    void setStartTimeout(int seconds) { startTimeoutS = seconds; }
    static constexpr int DefaultStartTimeoutS = 10;

    // Runs all transfers to their ends; 0 only when every port succeeded,
    // else the code all failures share, or 5 (failed) when they differ.
    int run();

    const QVector<PortResult> &results() const { return portResults; }
    static QString table(const QVector<PortResult> &results);

private:
    void drawLines(const QVector<YmodemFileTransmit *> &transfers, bool final);

    QString imagePath;
    QStringList portNames;
    int baudRate;
    FILE *progressOut;
    bool progressIsTerminal;
    int startTimeoutS = DefaultStartTimeoutS;
    bool drawn = false;
    QVector<int> shownPercent;
    QVector<PortResult> portResults;
};

#endif
