#ifndef KORVEX_LINEOPTIONS_H
#define KORVEX_LINEOPTIONS_H

#include "LineSettings.h"

#include <QString>
#include <QStringList>
#include <QVector>

class QCommandLineParser;

// The options every korvexctl command shares: where the device is and how
// the line is set up, as in the serial settings dialog, plus the retries of
// a lost reply and the factory switch.
struct LineOptions
{
    QStringList ports;          // --port, in the order given (flash takes several)
    int baud = 19200;
    QString stopBits = QStringLiteral("1");  // "1", "1.5" or "2"
    QString parity = QStringLiteral("none"); // "none", "odd" or "even"
    int retries = 2;
    int timeoutMs = 100;        // --timeout: the device's time to answer, line time on top
    bool factory = false;
    bool verbose = false;       // -v: every frame sent and received on stderr

    QString port() const { return ports.isEmpty() ? QString() : ports.first(); }
    // The line settings the executor opens portName with.
    LineSettings lineSettings(const QString &portName) const;

    // Adds --port, --baud, --stop-bits, --parity, --retries, --timeout, --factory
    // and -v/--verbose.
    static void addTo(QCommandLineParser &parser);
    // Reads them from a parser that has already parsed, adding to *this
    // (ports accumulate, the others replace). False with *error set when a
    // value is unusable.
    bool readFrom(const QCommandLineParser &parser, QString *error);
};

#endif
