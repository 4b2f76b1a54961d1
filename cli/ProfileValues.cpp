#include "ProfileValues.h"

#include "CommandCatalogue.h"
#include "PlCommand.h"

QVector<ProfileValue> profileValues(const DeviceProfile &profile, bool withSerial)
{
    auto pidText = [](const DeviceProfile &p) {
        auto coefficient = [&p](int i) { return CommandCatalogue::typedText(CommandWord::PidCoefficients, qint32(p.pidWords.at(i))); };
        return QStringLiteral("KP %1 KI %2 KD %3").arg(coefficient(0), coefficient(1), coefficient(2));
    };
    QVector<ProfileValue> values{
        {QStringLiteral("threshold"),
         [](const DeviceProfile &p) { return CommandCatalogue::typedText(CommandWord::TempThreshold, p.thresholdTenths); },
         [](PlCommand &c, const DeviceProfile &p) { return c.setTempThreshold(p.thresholdTenths); }},
        {QStringLiteral("power"), [](const DeviceProfile &p) { return QString::number(p.power); },
         [](PlCommand &c, const DeviceProfile &p) { return c.setPowerPercent(p.power); }},
        {QStringLiteral("max-dac"), [](const DeviceProfile &p) { return QString::number(p.maxDac); },
         [](PlCommand &c, const DeviceProfile &p) { return c.setSaveMaxDac(p.maxDac); }},
        {QStringLiteral("compensation"), [](const DeviceProfile &p) { return QStringLiteral("%1 h").arg(p.compensationHours); },
         [](PlCommand &c, const DeviceProfile &p) { return c.setCompensationHours(p.compensationHours); }},
        {QStringLiteral("laser-type"), [](const DeviceProfile &p) { return QString::number(p.laserType); },
         [](PlCommand &c, const DeviceProfile &p) { return c.setLdTypeParam(QByteArray(1, char(p.laserType))); }},
        {QStringLiteral("pid set"), pidText,
         [](PlCommand &c, const DeviceProfile &p) { return c.setPidValue(p.pidWords); }},
    };
    if (withSerial && profile.serialRecord.size() == 8)
        values.append({QStringLiteral("serial-number"),
                       [](const DeviceProfile &p) { return QString::fromLatin1(p.serialRecord.toHex()); },
                       [](PlCommand &c, const DeviceProfile &p) { return c.setDevSerialNum(p.serialRecord); }});
    return values;
}
