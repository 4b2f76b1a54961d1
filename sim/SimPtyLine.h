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
    QString hostName() const override { return m_slavePath; }
    void write(const QByteArray &bytes) override;

private:
    void readMaster();
    void closeAll();

    QString m_linkPath;
    bool m_linkMade = false;
    QString m_slavePath;
    int m_master = -1;
    int m_slaveKeeper = -1;
    QSocketNotifier *m_notifier = nullptr;
};

#endif
