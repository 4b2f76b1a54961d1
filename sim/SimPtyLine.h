#ifndef KORVEX_SIMPTYLINE_H
#define KORVEX_SIMPTYLINE_H

#include "SimLine.h"

class QSocketNotifier;

// A pseudo-terminal pair in raw mode: the device serves the master side; a
// host opens the slave terminal as its serial port. The device keeps a slave
// descriptor of its own open, so the master never sees a hang-up while no
// host has the terminal open, and a host may close and reopen it at will.
class SimPtyLine : public SimLine
{
    Q_OBJECT
public:
    explicit SimPtyLine(const QString &linkPath = QString(), QObject *parent = nullptr);
    ~SimPtyLine() override;

    bool open(QString *error) override;
    QString hostName() const override { return slavePath; }
    void write(const QByteArray &bytes) override;

private:
    void readMaster();
    void closeAll();

    QString symlinkPath;
    bool linkMade = false;
    QString slavePath;
    int master = -1;
    int slaveKeeper = -1;
    QSocketNotifier *notifier = nullptr;
};

#endif
