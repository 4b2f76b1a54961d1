#ifndef KORVEX_CONSOLE_H
#define KORVEX_CONSOLE_H

#include <QString>

// Where korvexctl writes: results to stdout, errors to stderr as one line
// each, prefixed with the program name. Both are flushed per line so that a
// script reading a pipe sees every result as it happens.
namespace Console {

void out(const QString &line);
void error(const QString &line);
// A line of the -v trace on stderr: not an error, never the last one.
// Safe from any thread.
void trace(const QString &line);
// Text written as is (help texts, which end with their own line break).
void outText(const QString &text);
// Whether everything written to stdout got there (flushed now); false with
// *why (the system's reason) after a failed write or flush.
bool outputWritten(QString *why);
// Whether anything went to stdout so far, and the last error line (without
// the program name): a --json run that failed before printing its object
// prints one from them.
bool anythingOut();
QString lastError();

} // namespace Console

#endif
