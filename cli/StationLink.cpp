#include "StationLink.h"

#include "DeviceProfile.h"
#include "ProfileValues.h"
#include "ExitCode.h"
#include "PlCommand.h"
#include "YmodemFileTransmit.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

StationLink::StationLink(const LineOptions &line, const QString &port) : lineOptions(line)
{
    lineOptions.ports = QStringList{port};
}

int StationLink::open()
{
    flashError.clear();
    session = std::make_unique<DeviceSession>(lineOptions);
    session->setStopsOnSignal(false);
    return session->open();
}

int StationLink::readStatus(DevStatusCache &cache)
{
    return session->readStatus(cache);
}

int StationLink::write(const PlanWrite &w)
{
    return session->write([&w](PlCommand &c) { return c.execWrite(w.word, w.values); });
}

QString StationLink::errorText() const
{
    return flashError.isEmpty() && session ? session->errorText() : flashError;
}

int StationLink::flash(const QString &imagePath, qint64 timeoutMs)
{
    // The boot loader shares the line: the device session lets it go first.
    session.reset();
    YmodemFileTransmit transfer;
    transfer.setSourceFile(imagePath);
    transfer.setPort(lineOptions.port());
    transfer.setBaud(lineOptions.baud);
    transfer.setStepOnArrival(true);
    QEventLoop loop;
    YmodemFileTransmit::Status result = YmodemFileTransmit::StatusTimedOut;
    QObject::connect(&transfer, &YmodemFileTransmit::transmitStatus, &loop, [&](YmodemFileTransmit::Status s) {
        if (s == YmodemFileTransmit::StatusStarted || s == YmodemFileTransmit::StatusTransferring)
            return;
        result = s;
        loop.quit();
    });
    QTimer::singleShot(int(qMin<qint64>(timeoutMs, 24 * 3600 * 1000)), &loop, [&] {
        transfer.stopTransfer();
        loop.quit();
    });
    QString why;
    if (!transfer.startTransfer())
        why = QStringLiteral("port %1 could not be opened for the transfer").arg(lineOptions.port());
    else
        loop.exec();
    if (why.isEmpty() && result != YmodemFileTransmit::StatusFinished)
        why = transfer.failureReason().isEmpty() ? QStringLiteral("the transfer did not finish") : transfer.failureReason();
    const int reopened = open();
    flashError = why;
    if (!why.isEmpty())
        return ExitCode::Failed;
    return reopened;
}

bool StationLink::profileWrites(const QString &path, QVector<PlanWrite> *writes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    DeviceProfile p;
    if (!DeviceProfile::fromFile(file.read(DeviceProfile::MaxFileSize + 1), &p, error))
        return false;
    writes->clear();
    const QVector<ProfileValue> values = profileValues(p, false);
    const QVector<DeviceProfile::Write> profileWrites = p.writes();
    for (int i = 0; i < values.size(); ++i)
        writes->append({profileWrites.at(i).word, profileWrites.at(i).values, values.at(i).what(p)});
    return true;
}
