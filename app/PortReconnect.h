#ifndef KORVEX_PORTRECONNECT_H
#define KORVEX_PORTRECONNECT_H

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

// Brings a lost device port back. After the device behind the port has gone
// it looks for the port's name again (the name the port was opened by: a
// stable link such as /dev/serial/by-id/... follows the device to whatever
// node it comes back as) and asks for a reopen once the name leads to a
// device node. A look is one stat() of the name, first every poll interval,
// then less often up to every few seconds, so a device that stays away costs
// nothing worth measuring and a failing reopen is not retried in a loop.
class PortReconnect : public QObject
{
    Q_OBJECT
public:
    static constexpr int FirstDelayMs = 500;
    static constexpr int LongestDelayMs = 2000;

    explicit PortReconnect(QObject *parent = nullptr);

    // Starts waiting for the port of these settings (the serial settings
    // list). False, and no waiting, for a name that never leads to the same
    // device again: a pseudo-terminal's number goes to the next terminal
    // opened on the machine, whoever opens it; only a link can follow it.
    bool start(const QVector<QString> &settings);
    void stop();
    bool isWaiting() const { return waiting; }
    // A reopen has been asked for and its outcome is not known yet.
    bool isReopening() const { return reopening; }
    QString portName() const { return portSettings.value(0); }
    QVector<QString> settings() const { return portSettings; }
    // The outcome of the reopen asked for: a failure goes on waiting.
    void reopenFinished(bool opened);

signals:
    void reopen(QVector<QString> settings);

private:
    void look();
    void lookLater();

    QTimer timer;
    QVector<QString> portSettings;
    int delayMs = FirstDelayMs;
    bool waiting = false;
    bool reopening = false;
};

#endif
