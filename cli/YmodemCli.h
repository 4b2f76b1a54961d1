#ifndef KORVEX_YMODEMCLI_H
#define KORVEX_YMODEMCLI_H

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdio>

// The korvex-ymodem program: sends one file to, or receives one file from,
// a serial port with YModem, using the same sender and receiver classes as
// the update window.
class YmodemCli : public QObject
{
    Q_OBJECT

public:
    enum ExitCode {
        ExitFinished = 0,
        ExitUsage = 2,
        ExitAborted = 3,
        ExitTimedOut = 4,
        ExitFailed = 5,
        ExitPortNotOpened = 6
    };

    struct Options {
        bool help = false;
        bool version = false;
        bool send = false;
        QString port;
        int baud = 115200;
        QString path; // file to send or directory to receive into
        QString error; // set when the arguments are unusable
    };

    static Options parseArguments(const QStringList &arguments);
    static QString usage();
    // Exit code for a final transfer status (the shared Status values 2..5).
    static int exitCodeFor(int status);
    static QString progressText(bool send, const QString &name, int percent, quint64 done, quint64 total);

    // Progress and messages go to `err`; `interactive` rewrites one line with \r.
    YmodemCli(FILE *err, bool interactive, QObject *parent = nullptr);

    // Runs the transfer to its end inside its own event loop; returns the exit code.
    int run(const Options &options);

    // Asks a running transfer to stop (the peer gets the cancel burst).
    void requestStop();

private:
    void showProgress(int percent, quint64 done, quint64 total);
    void printLine(const QString &text);

    FILE *err;
    bool interactive;
    bool sending = false;
    bool stopWanted = false;
    bool lineOpen = false;
    int lastPercent = -1;
    QString shownName;
};

#endif
