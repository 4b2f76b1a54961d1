#ifndef KORVEX_UNITLINK_H
#define KORVEX_UNITLINK_H

#include "DevStatusCache.h"
#include "TestPlan.h"

#include <QString>

// One unit's line as a test run uses it. Every call blocks the run's own
// thread until the unit has answered (or the retries are spent) and returns
// an ExitCode value: Done, Failed (the unit refused), NoReply (no valid
// reply, or the port has gone), PortNotOpened. It keeps sending after
// SIGINT and SIGTERM: a stopped test must still switch the laser off.
class UnitLink
{
public:
    virtual ~UnitLink() = default;
    virtual int open() = 0;
    virtual int readStatus(DevStatusCache &cache) = 0;
    virtual int write(const PlanWrite &write) = 0;
    // Sends a firmware image to the unit's boot loader (the device commands
    // pause meanwhile) and opens the line to the device again.
    virtual int flash(const QString &imagePath, qint64 timeoutMs) = 0;
    // Why the last call failed, in one line.
    virtual QString errorText() const = 0;
};

#endif
