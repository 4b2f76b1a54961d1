// korvexctl ports: the serial ports as the serial settings dialog sees them.

#include "Console.h"
#include "CtlCommands.h"
#include "ExitCode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPort>
#include <QSerialPortInfo>

CtlCommand portsCommand()
{
    CtlCommand c;
    c.name = QStringLiteral("ports");
    c.summary = QStringLiteral("list the serial ports");
    c.usage = QStringLiteral("ports [--json]");
    c.description = QStringLiteral(
        "Lists the serial ports of this machine: name, description and whether another\n"
        "program holds the port open (busy). The serial settings dialog offers the free ones.");
    c.needsPort = false;
    c.addOptions = [](QCommandLineParser &p) {
        p.addOption({QStringLiteral("json"),
                     QStringLiteral("Print one JSON object: ports [{name, description, busy}].")});
    };
    c.run = [](CtlContext &ctx) {
        if (!ctx.args.isEmpty())
            return badArguments(QStringLiteral("usage: korvexctl ports [--json]"));
        const auto ports = QSerialPortInfo::availablePorts();
        QJsonArray list;
        for (const QSerialPortInfo &info : ports) {
            // The name as the dialog lists it (the port object's name).
            QSerialPort probe;
            probe.setPort(info);
            list.append(QJsonObject{{QStringLiteral("name"), probe.portName()},
                                    {QStringLiteral("description"), info.description()},
                                    {QStringLiteral("busy"), info.isBusy()}});
        }
        if (ctx.isSet("json")) {
            Console::out(QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("ports"), list}}).toJson(QJsonDocument::Compact)));
            return ExitCode::Done;
        }
        if (list.isEmpty())
            Console::out(QStringLiteral("no serial ports found"));
        for (const QJsonValue &v : qAsConst(list)) {
            const QJsonObject port = v.toObject();
            const QString description = port.value(QStringLiteral("description")).toString();
            Console::out(QStringLiteral("%1\t%2\t%3")
                             .arg(port.value(QStringLiteral("name")).toString(),
                                  description.isEmpty() ? QStringLiteral("-") : description,
                                  port.value(QStringLiteral("busy")).toBool() ? QStringLiteral("busy") : QStringLiteral("free")));
        }
        return ExitCode::Done;
    };
    return c;
}
