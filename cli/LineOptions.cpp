#include "LineOptions.h"

#include <QCommandLineParser>

LineSettings LineOptions::lineSettings(const QString &portName) const
{
    LineSettings settings;
    settings.name = LineSettings::openableName(portName);
    settings.baud = baud;
    if (stopBits == QLatin1String("1.5"))
        settings.stopBits = LineSettings::StopBits::OneAndHalf;
    else if (stopBits == QLatin1String("2"))
        settings.stopBits = LineSettings::StopBits::Two;
    if (parity == QLatin1String("odd"))
        settings.parity = LineSettings::Parity::Odd;
    else if (parity == QLatin1String("even"))
        settings.parity = LineSettings::Parity::Even;
    return settings;
}

void LineOptions::addTo(QCommandLineParser &p)
{
    p.addOption({QStringLiteral("port"), QStringLiteral("Serial port of the device (e.g. /dev/ttyUSB0, COM1)."),
                 QStringLiteral("NAME")});
    p.addOption({QStringLiteral("baud"), QStringLiteral("Baud rate (default 19200)."), QStringLiteral("N")});
    p.addOption({QStringLiteral("stop-bits"), QStringLiteral("Stop bits: 1, 1.5 or 2 (default 1)."),
                 QStringLiteral("1|1.5|2")});
    p.addOption({QStringLiteral("parity"), QStringLiteral("Parity: none, odd or even (default none)."),
                 QStringLiteral("none|odd|even")});
    p.addOption({QStringLiteral("retries"),
                 QStringLiteral("How often a lost reply is asked for again before it is reported (default 2)."),
                 QStringLiteral("N")});
    p.addOption({QStringLiteral("timeout"),
                 QStringLiteral("How long the device may take to answer, in ms (default 100); the time the "
                                "reply's bytes need at the line's rate comes on top."),
                 QStringLiteral("MS")});
    p.addOption({QStringLiteral("factory"), QStringLiteral("Allow the factory commands.")});
    p.addOption({{QStringLiteral("v"), QStringLiteral("verbose")},
                 QStringLiteral("Print every frame sent and received, and every retry, on stderr.")});
}

bool LineOptions::readFrom(const QCommandLineParser &p, QString *error)
{
    ports += p.values(QStringLiteral("port"));
    if (p.isSet(QStringLiteral("baud"))) {
        bool ok = false;
        const int value = p.value(QStringLiteral("baud")).toInt(&ok, 10);
        if (!ok || value < 50 || value > 4000000) {
            *error = QStringLiteral("--baud needs a baud rate, not \"%1\"").arg(p.value(QStringLiteral("baud")));
            return false;
        }
        baud = value;
    }
    if (p.isSet(QStringLiteral("stop-bits"))) {
        const QString v = p.value(QStringLiteral("stop-bits"));
        if (v != QLatin1String("1") && v != QLatin1String("1.5") && v != QLatin1String("2")) {
            *error = QStringLiteral("--stop-bits takes 1, 1.5 or 2, not \"%1\"").arg(v);
            return false;
        }
        stopBits = v;
    }
    if (p.isSet(QStringLiteral("parity"))) {
        const QString v = p.value(QStringLiteral("parity"));
        if (v != QLatin1String("none") && v != QLatin1String("odd") && v != QLatin1String("even")) {
            *error = QStringLiteral("--parity takes none, odd or even, not \"%1\"").arg(v);
            return false;
        }
        parity = v;
    }
    if (p.isSet(QStringLiteral("retries"))) {
        bool ok = false;
        const int value = p.value(QStringLiteral("retries")).toInt(&ok, 10);
        if (!ok || value < 0 || value > 100) {
            *error = QStringLiteral("--retries needs a number from 0 to 100, not \"%1\"")
                         .arg(p.value(QStringLiteral("retries")));
            return false;
        }
        retries = value;
    }
    if (p.isSet(QStringLiteral("timeout"))) {
        bool ok = false;
        const int value = p.value(QStringLiteral("timeout")).toInt(&ok, 10);
        if (!ok || value < 10 || value > 60000) {
            *error = QStringLiteral("--timeout needs milliseconds from 10 to 60000, not \"%1\"")
                         .arg(p.value(QStringLiteral("timeout")));
            return false;
        }
        timeoutMs = value;
    }
    factory = factory || p.isSet(QStringLiteral("factory"));
    verbose = verbose || p.isSet(QStringLiteral("verbose"));
    return true;
}
