#ifndef KORVEX_SIMOPTIONS_H
#define KORVEX_SIMOPTIONS_H

#include "SimFaults.h"
#include "SimThermalModel.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Command line of korvex-sim.
class SimOptions
{
public:
    enum Outcome { Run, ShowHelp, ShowVersion, Invalid };

    // Parses the arguments (without the program name). On Invalid, error
    // says what was wrong.
    Outcome parse(const QStringList &args, QString *error);
    static QString helpText();

    bool usePty = false;
    QString linkPath;
    QString portName;
    int baud = 115200;
    QSet<quint16> refusedWords;
    SimFaults::Settings faults;
    QString logPath;
    QString faultLogPath;
    bool verbose = false;
    int gapMs = 15;
    int chatterMs = 0; // 0: no unsolicited bytes
    double speed = 1.0;
    QList<int> stuckFans;      // 0-based
    quint8 fwMajor = 1;
    quint8 fwMinor = 5;
    quint8 ldType = 0;
    quint32 runSeconds = 0;
    QString firmwareDir; // boot loader: received images go here
    QByteArray serialRecord; // empty: the default unit
    SimThermalModel::Parameters model;

private:
    bool take(const QString &name, const QString &value, QString *error);
    bool parseShare(const QString &name, const QString &text, double *out, QString *error);
    bool parseInt(const QString &name, const QString &text, qint64 lo, qint64 hi, qint64 *out, QString *error);
};

#endif
