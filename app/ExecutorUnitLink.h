#ifndef KORVEX_EXECUTORUNITLINK_H
#define KORVEX_EXECUTORUNITLINK_H

#include "UnitLink.h"

class PlCommand;

// The production test's line in the window: the main window's own executor
// (PlCommand on its worker thread), which holds the device port. The test
// never opens the port a second time: its exchanges queue on the executor's
// thread between the window's own 500 ms polls, one exchange at a time, and
// their replies reach the window's display and log as the polls' do. The
// port stays the window's; a test with no open port ends in error at once.
class ExecutorUnitLink : public UnitLink
{
public:
    explicit ExecutorUnitLink(PlCommand *executor, int retries = 2);

    int open() override;
    int readStatus(DevStatusCache &cache) override;
    int write(const PlanWrite &write) override;
    // Firmware goes through the update window, which takes the port over.
    int flash(const QString &imagePath, qint64 timeoutMs) override;
    QString errorText() const override { return error; }

private:
    int failureFor(quint8 result);

    PlCommand *executor;
    int retries;
    QString error;
};

#endif
