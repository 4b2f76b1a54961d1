#ifndef KORVEX_DEVICEPORT_H
#define KORVEX_DEVICEPORT_H

#include <QObject>
#include <QString>
#include <QVector>

class PortReconnect;

// The device port as the main window knows it, from the executor's answers
// only: open or not, closed by the operator or lost, answering or silent,
// and the way back to a lost port. It decides; the window shows and logs
// what it decided.
class DevicePort : public QObject
{
    Q_OBJECT
public:
    enum class Opened { Opened, Reopened, Failed, StillWaiting };
    enum class Closed { Closed, Failed, AfterLoss };
    enum class Answering { Unchanged, Stopped, Resumed };

    // A unit counts as silent once more than failedLimit exchanges in a row
    // failed: the same limit that turns the link lamp red.
    DevicePort(quint32 failedLimit, QObject *parent);

    bool isOpen() const { return open; }
    // The name the open port was opened by.
    QString name() const { return openName; }
    // Open, and not silent.
    bool isAnswering() const { return open && answering; }
    bool isWaiting() const;
    // A reopen of a lost port was asked for and its outcome is not known yet.
    bool isReopening() const;
    // The next close is the one that follows a loss.
    bool closingAfterLoss() const { return lost; }
    QString waitingName() const;
    // The settings of the open port, or empty when it was not opened from
    // the serial settings dialog or a reconnect.
    QVector<QString> openSettings() const { return portSettings; }

    // The operator confirmed a port: it replaces the wait for the old one.
    void choose(const QVector<QString> &settings);
    // Opens the device link on these settings as if chosen (after an update,
    // which had the port).
    void openWith(const QVector<QString> &settings);
    Opened noteOpenResult(const QString &name, quint8 result);
    Closed noteCloseResult(quint8 result);
    // The executor found the device gone; true when the port is waited for
    // (only a stable name is: see PortReconnect).
    bool noteLost(const QString &name, bool reconnect);
    // The count of failed exchanges in a row after each exchange.
    Answering noteFailedExchanges(quint32 count);
    // The port is taken by someone else (the update window): no reconnect.
    void stopWaiting();

signals:
    // A reopen of the lost port, for the executor.
    void reopen(QVector<QString> settings);

private:
    void noteClosed();

    PortReconnect *reconnect;
    quint32 failedLimit;
    bool open = false;
    bool answering = true;
    // Set by a loss: the close that follows is the loss, not an operator's close.
    bool lost = false;
    QString openName;
    QVector<QString> chosenSettings;
    QVector<QString> portSettings;
};

#endif
