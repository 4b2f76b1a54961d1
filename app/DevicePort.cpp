#include "DevicePort.h"

#include "PortReconnect.h"

DevicePort::DevicePort(quint32 failedLimit, QObject *parent)
    : QObject(parent), reconnect(new PortReconnect(this)), failedLimit(failedLimit)
{
    connect(reconnect, &PortReconnect::reopen, this, &DevicePort::reopen);
}

bool DevicePort::isWaiting() const
{
    return reconnect->isWaiting();
}

bool DevicePort::isReopening() const
{
    return reconnect->isReopening();
}

QString DevicePort::waitingName() const
{
    return reconnect->portName();
}

void DevicePort::choose(const QVector<QString> &settings)
{
    chosenSettings = settings;
    reconnect->stop();
}

void DevicePort::openWith(const QVector<QString> &settings)
{
    choose(settings);
    emit reopen(settings);
}

DevicePort::Opened DevicePort::noteOpenResult(const QString &name, quint8 result)
{
    const bool reopened = reconnect->isReopening();
    if (reopened) {
        reconnect->reopenFinished(result == 0);
        if (result != 0)
            return Opened::StillWaiting;
    }
    if (result != 0) {
        noteClosed();
        return Opened::Failed;
    }
    open = true;
    answering = true;
    openName = name;
    if (reopened)
        portSettings = reconnect->settings();
    else
        portSettings = chosenSettings.value(0) == name ? chosenSettings : QVector<QString>();
    return reopened ? Opened::Reopened : Opened::Opened;
}

DevicePort::Closed DevicePort::noteCloseResult(quint8 result)
{
    const bool afterLoss = lost && result == 0;
    lost = false;
    noteClosed();
    if (afterLoss)
        return Closed::AfterLoss;
    return result == 0 ? Closed::Closed : Closed::Failed;
}

bool DevicePort::noteLost(const QString &name, bool reconnectOn)
{
    lost = true;
    noteClosed();
    return reconnectOn && portSettings.value(0) == name && reconnect->start(portSettings);
}

DevicePort::Answering DevicePort::noteFailedExchanges(quint32 count)
{
    if (!open)
        return Answering::Unchanged;
    const bool now = count <= failedLimit;
    if (now == answering)
        return Answering::Unchanged;
    answering = now;
    return now ? Answering::Resumed : Answering::Stopped;
}

void DevicePort::stopWaiting()
{
    reconnect->stop();
}

void DevicePort::noteClosed()
{
    open = false;
    answering = true;
}
