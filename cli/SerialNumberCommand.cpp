// korvexctl serial-number: writes the device's serial number record.

#include "CtlCommands.h"
#include "DevStatusCache.h"
#include "PlCommand.h"
#include "SerialNumberRecord.h"
#include "StatusFormat.h"

#include <QRegularExpression>

CtlCommand serialNumberCommand()
{
    CtlCommand c;
    c.name = QStringLiteral("serial-number");
    c.summary = QStringLiteral("write the serial number");
    c.usage = QStringLiteral("serial-number MODEL YYYY-MM-DD NUMBER | serial-number --raw HEX16");
    c.description = QStringLiteral(
        "Writes the serial number as the serial number composer builds it: MODEL (up to 7\n"
        "digits), the date of manufacture and the NUMBER of the unit on that day (up to 4\n"
        "digits); or, with --raw, the 8-byte record given as 16 hex digits.\n"
        "Example: serial-number 66051 2024-07-09 42 writes 66051-202407090042.");
    c.factory = true;
    c.setter = true;
    c.verifiable = true;
    c.addOptions = [](QCommandLineParser &p) {
        p.addOption({QStringLiteral("raw"), QStringLiteral("The 8-byte record as 16 hex digits."), QStringLiteral("HEX16")});
    };
    c.run = [](CtlContext &ctx) {
        const QString usage = QStringLiteral("usage: korvexctl --factory serial-number MODEL YYYY-MM-DD NUMBER"
                                             " | serial-number --raw HEX16");
        QByteArray record;
        if (ctx.isSet("raw")) {
            const QString hex = ctx.value("raw");
            if (!ctx.args.isEmpty())
                return badArguments(usage);
            if (!QRegularExpression(QStringLiteral("^[0-9A-Fa-f]{16}$")).match(hex).hasMatch())
                return badArguments(QStringLiteral("--raw needs exactly 16 hex digits, not \"%1\"").arg(hex));
            record = QByteArray::fromHex(hex.toLatin1());
        } else {
            if (ctx.args.size() != 3)
                return badArguments(usage);
            QString error;
            qint64 model = 0;
            qint64 number = 0;
            if (!CtlArgs::parseInt(ctx.args.at(0), 0, 9999999, QStringLiteral("MODEL"), &model, &error)
                || !CtlArgs::parseInt(ctx.args.at(2), 0, 9999, QStringLiteral("NUMBER"), &number, &error))
                return badArguments(error);
            // Exactly what the usage says: four-digit year, two-digit month and day.
            const QDate date = QRegularExpression(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$")).match(ctx.args.at(1)).hasMatch()
                                   ? QDate::fromString(ctx.args.at(1), QStringLiteral("yyyy-MM-dd"))
                                   : QDate();
            if (!date.isValid() || date.year() < 2000 || date.year() > 2255)
                return badArguments(QStringLiteral("the date must be YYYY-MM-DD from 2000 to 2255, not \"%1\"").arg(ctx.args.at(1)));
            record = SerialNumberRecord::compose(quint32(model), date, quint16(number));
        }
        const QString number = StatusFormat::formatSerialNumber(record);
        return runDeviceWrite(ctx, {QStringLiteral("serial-number %1 (%2)").arg(number, QString::fromLatin1(record.toHex())),
                                    number, [record](PlCommand &p) { return p.setDevSerialNum(record); },
                                    [](const DevStatusCache &s) { return QJsonValue(StatusFormat::formatSerialNumber(s.serialNum)); }});
    };
    return c;
}
