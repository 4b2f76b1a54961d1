#include "PortReconnect.h"

#include "SPComm.h"

#include <QFileInfo>

PortReconnect::PortReconnect(QObject *parent) : QObject(parent)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &PortReconnect::look);
}

bool PortReconnect::start(const QVector<QString> &settings)
{
    stop();
    portSettings = settings;
    const QString name = portName();
    if (name.isEmpty() || SPComm::deviceNodePath(name).startsWith(QLatin1String("/dev/pts/")))
        return false;
    waiting = true;
    delayMs = FirstDelayMs;
    timer.start(delayMs);
    return true;
}

void PortReconnect::stop()
{
    waiting = false;
    reopening = false;
    timer.stop();
}

void PortReconnect::reopenFinished(bool opened)
{
    reopening = false;
    if (opened)
        stop();
    else if (waiting)
        lookLater();
}

void PortReconnect::look()
{
    if (!waiting || reopening)
        return;
    // exists() follows links: a stable name whose device is away leads
    // nowhere, and leads to the new node once the device is back.
    const QString node = SPComm::deviceNodePath(portName());
    if (!node.isEmpty() && !QFileInfo::exists(node)) {
        lookLater();
        return;
    }
    reopening = true;
    emit reopen(portSettings);
}

void PortReconnect::lookLater()
{
    delayMs = qMin(delayMs * 2, LongestDelayMs);
    timer.start(delayMs);
}
