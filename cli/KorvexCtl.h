#ifndef KORVEX_KORVEXCTL_H
#define KORVEX_KORVEXCTL_H

#include "CtlCommand.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>

// The korvexctl program without its entry: the table of commands, the
// parsing of the shared options and of each command's own, help and
// version texts, and the dispatch.
class KorvexCtl
{
public:
    KorvexCtl();

    // arguments without the program name; returns the exit code.
    int run(const QStringList &arguments);

    QString generalHelp() const;
    // withSharedText: the shared options and exit codes at the end.
    QString commandHelp(const CtlCommand &command, bool withSharedText = true) const;
    // The overview and every command's help (the manual page).
    QString allHelp() const;
    const CtlCommand *find(const QString &name) const;

    // SIGINT or SIGTERM arrived (set by the program entry's SignalEvents):
    // one-shot commands stop before their next frame, long ones (watch,
    // send, receive, flash) stop cleanly.
    static std::atomic<bool> &stopRequested();

    // Off: a command's options and words are parsed and checked up to the
    // point where it would run, and it is not run (exit 0): no port is
    // opened, no file written. For the option-parsing fuzz target.
    void setRunCommands(bool on) { runCommands = on; }
    // Whether stderr is a terminal (progress lines are then redrawn in
    // place); the program entry finds out and sets it.
    static bool stderrIsTerminal();
    static void setStderrIsTerminal(bool terminal);

private:
    int dispatch(const QStringList &arguments);
    int runCommand(const CtlCommand &command, const LineOptions &line, const QStringList &rest);

    QVector<CtlCommand> commands;
    bool runCommands = true;
};

#endif
