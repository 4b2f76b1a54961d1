#ifndef KORVEX_PROFILEAPPLY_H
#define KORVEX_PROFILEAPPLY_H

#include <QString>

struct CtlContext;

// korvexctl profile apply FILE|-: checks the whole profile, reads the target,
// then writes the values in order (or, with --dry-run, shows each one's
// current and new value); returns the ExitCode value.
int profileApply(CtlContext &ctx, const QString &path);

#endif
