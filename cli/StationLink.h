#ifndef KORVEX_STATIONLINK_H
#define KORVEX_STATIONLINK_H

#include "DeviceSession.h"
#include "LineOptions.h"
#include "PlanReader.h"
#include "UnitLink.h"

#include <memory>

// A test station's line to one unit through korvexctl's device session: the
// same executor, retries and reply checks as every other command, going on
// after a signal (the test makes the unit safe first). Flashing closes the
// session, sends the image to the boot loader by YModem and opens it again.
class StationLink : public UnitLink
{
public:
    StationLink(const LineOptions &line, const QString &port);

    int open() override;
    int readStatus(DevStatusCache &cache) override;
    int write(const PlanWrite &write) override;
    int flash(const QString &imagePath, qint64 timeoutMs) override;
    QString errorText() const override;

    // apply: a device profile file as the writes that set it up.
    static bool profileWrites(const QString &path, QVector<PlanWrite> *writes, QString *error);

private:
    LineOptions lineOptions;
    std::unique_ptr<DeviceSession> session;
    QString flashError;
};

#endif
