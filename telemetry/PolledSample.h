#ifndef KORVEX_POLLEDSAMPLE_H
#define KORVEX_POLLEDSAMPLE_H

#include "DevStatusCache.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>

// One poll of one unit, as every consumer of samples sees it: when it was
// asked for, which unit (its port, and its serial number once one reply has
// told it), and either the decoded status or nothing (lost: no valid reply,
// or the port was not open).
struct PolledSample
{
    QDateTime time;        // when the status was asked for
    QString port;          // the port's name as given; empty in the window
    QString serial;        // "66051-202407090042"; the last one known when lost, empty before the first reply
    bool answered = false; // false: lost
    DevStatusCache status; // the reply, decoded; meaningful only when answered
    bool portOpen = false; // whether the unit's port was open after this poll
    // The executor's count of consecutive failed exchanges after this poll.
    quint32 consecutiveFailures = 0;
};

Q_DECLARE_METATYPE(PolledSample)

#endif
