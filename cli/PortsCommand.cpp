// korvexctl ports: the serial ports as the serial settings dialog sees them.

#include "Console.h"
#include "CtlCommands.h"
#include "ExitCode.h"

#include <QSerialPort>
#include <QSerialPortInfo>

CtlCommand portsCommand()
{
    CtlCommand c;
    c.name = QStringLiteral("ports");
    c.summary = QStringLiteral("list the serial ports");
    c.usage = QStringLiteral("ports");
    c.description = QStringLiteral(
        "Lists the serial ports of this machine: name, description and whether another\n"
        "program holds the port open (busy). The serial settings dialog offers the free ones.");
    c.needsPort = false;
    c.run = [](CtlContext &ctx) {
        if (!ctx.args.isEmpty())
            return badArguments(QStringLiteral("usage: korvexctl ports"));
        const auto ports = QSerialPortInfo::availablePorts();
        if (ports.isEmpty()) {
            Console::out(QStringLiteral("no serial ports found"));
            return ExitCode::Done;
        }
        for (const QSerialPortInfo &info : ports) {
            // The name as the dialog lists it (the port object's name).
            QSerialPort probe;
            probe.setPort(info);
            const QString description = info.description().isEmpty() ? QStringLiteral("-") : info.description();
            Console::out(QStringLiteral("%1\t%2\t%3")
                             .arg(probe.portName(), description,
                                  info.isBusy() ? QStringLiteral("busy") : QStringLiteral("free")));
        }
        return ExitCode::Done;
    };
    return c;
}
