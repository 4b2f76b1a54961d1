#ifndef KORVEX_YMODEMCLI_H
#define KORVEX_YMODEMCLI_H

#include <QObject>
#include <QString>
#include <QStringList>

#include <csignal>
#include <cstdio>

// The korvex-ymodem program: sends one file to, or receives one file from,
// a serial port with YModem, using the same sender and receiver classes as
// the update window.
//
// Another program runs one transfer with it like this:
//
//     YmodemCli::Options o;            // or parseArguments(...)
//     o.send = true; o.port = "/dev/ttyUSB0"; o.baud = 115200; o.path = file;
//     YmodemCli cli(stderr, isatty(2)); // or nullptr: print nothing
//     cli.setStopFlag(&interrupted);   // optional: a flag a signal handler sets
//     QObject::connect(&cli, &YmodemCli::progress, ...); // optional
//     const int exitCode = cli.run(o); // ExitCode values
//
// run() needs a Q(Core)Application object and runs its own event loop on
// the calling thread until the transfer has ended.
class YmodemCli : public QObject
{
    Q_OBJECT

public:
    struct Options {
        bool help = false;
        bool version = false;
        bool send = false;
        QString port;
        int baud = 115200;
        QString path; // file to send or directory to receive into
        QString error; // set when the arguments are unusable
        // Step the engine as soon as the peer's bytes arrive, not only every
        // 10 ms: the line is used at close to its rate. Retry and give-up
        // times are the same either way.
        bool stepOnArrival = true;
    };

    static Options parseArguments(const QStringList &arguments);
    static QString usage();
    // Exit code for a final transfer status (the shared Status values 2..5).
    static int exitCodeFor(int status);
    static QString progressText(bool send, const QString &name, int percent, quint64 done, quint64 total);

    // Progress and messages go to `err` (nothing is printed when it is
    // null); `interactive` rewrites one progress line with \r.
    YmodemCli(FILE *err, bool interactive, QObject *parent = nullptr);

    // Runs the transfer to its end inside its own event loop; returns the
    // exit code (ExitCode). Progress and messages are also emitted as signals.
    int run(const Options &options);

    // Asks a running transfer to stop (the peer gets the cancel burst, the
    // exit code is ExitCode::Aborted). Call it on the thread that runs run().
    void requestStop();
    // A flag that a signal handler sets (it may do nothing else): once it is
    // non-zero the running transfer stops as with requestStop(). Checked
    // every 50 ms; null for none.
    void setStopFlag(const volatile std::sig_atomic_t *flag) { stopFlag = flag; }
    // Lines start with "<prefix>: " (default korvex-ymodem); the final
    // result of a successful transfer goes to `results` instead of `err`
    // when it is given (korvexctl: stdout, as every command's result).
    void setOutput(const QString &prefix, FILE *results) { linePrefix = prefix; resultOut = results; }

    // How the last run() ended: its result line, the bytes and the file.
    struct Outcome {
        bool finished = false;
        QString text;
        quint64 bytes = 0;
        QString path;
    };
    const Outcome &outcome() const { return last; }

signals:
    // Each time the transfer's percentage changes.
    void progress(int percent, quint64 doneBytes, quint64 totalBytes);
    // Each line of text the transfer reports (also printed to `err`).
    void message(const QString &line);

private:
    void showProgress(int percent, quint64 done, quint64 total);
    void printLine(const QString &text);
    void finish(bool finished, const QString &text, quint64 bytes, const QString &path);

    FILE *err;
    bool interactive;
    bool sending = false;
    bool stopWanted = false;
    const volatile std::sig_atomic_t *stopFlag = nullptr;
    bool lineOpen = false;
    int lastPercent = -1;
    QString shownName;
    QString linePrefix = QStringLiteral("korvex-ymodem");
    FILE *resultOut = nullptr;
    Outcome last;
};

#endif
