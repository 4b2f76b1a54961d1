#ifndef KORVEX_ONELINE_H
#define KORVEX_ONELINE_H

#include <QString>

// A text as a one-line message shows it, whatever a file or a name brought
// in: a line break, a tab or another control character (a NUL) escaped as
// JSON writes it ("\n", "\t", "\u0000"), so that the message stays one
// whole line.
QString oneLine(const QString &text);

#endif
