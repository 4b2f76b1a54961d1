#include "StatusFormat.h"

#include <QCoreApplication>

namespace StatusFormat {

namespace {
// The log and display texts belong to the main window's translation context.
QString tr(const char *text)
{
    return QCoreApplication::translate("AdminWd", text);
}
} // namespace

QString formatSerialNumber(const QByteArray &r)
{
    if (r.size() < 8)
        return QString();
    auto b = [&r](int i) { return quint32(quint8(r.at(i))); };
    const quint32 model = (b(0) << 16) | (b(1) << 8) | b(2);
    const quint32 number = (b(6) << 8) | b(7);
    return QString::number(model) + QLatin1Char('-') + QString::number(2000 + b(3))
        + QStringLiteral("%1").arg(b(4), 2, 10, QLatin1Char('0'))
        + QStringLiteral("%1").arg(b(5), 2, 10, QLatin1Char('0'))
        + QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0'));
}

QString firmwareText(quint8 major, quint8 minor)
{
    return QLatin1Char('V') + QString::number(major) + QLatin1Char('.') + QString::number(minor);
}

QString tenthsText(qint16 tenths, const QString &suffix)
{
    return QString::number(tenths / 10.0, 'f', 1) + suffix;
}

QString ampsText(quint16 milliamps)
{
    return QString::number(milliamps / 1000.0, 'f', 2) + QStringLiteral(" A");
}

QString hoursText(quint32 seconds)
{
    return QString::number(seconds / 3600) + QLatin1Char('H');
}

QString laserTypeText(quint32 type)
{
    switch (type) {
    case 0: return tr("Ld-25W");
    case 1: return tr("Ld-30W");
    case 2: return tr("Ld-50W");
    default: return tr("UnKnown!");
    }
}

QVector<QPair<QString, QString>> fieldTexts(const DevStatusCache &c)
{
    const QString degrees = tr("℃");
    const QString spacedDegrees = tr(" ℃");
    const QString rpm = QStringLiteral(" rpm");
    return {
        {QStringLiteral("SoftVersion"), firmwareText(c.fwMajor, c.fwMinor)},
        {QStringLiteral("PowerPercentShow"), QString::number(c.powerPercent)},
        {QStringLiteral("TempThreshold"), tenthsText(c.tempThreshold, degrees)},
        {QStringLiteral("DevRxFrame"), QString::number(c.devRxFrames)},
        {QStringLiteral("DevTxFrame"), QString::number(c.devTxFrames)},
        {QStringLiteral("devSerialNum"), formatSerialNumber(c.serialNum)},
        {QStringLiteral("LdWorkHours"), hoursText(c.runSeconds)},
        {QStringLiteral("StatAutoCompensation"), QString::number(c.compensationHours) + QLatin1Char('H')},
        {QStringLiteral("FanSpeed1"), QString::number(c.fanSpeed1) + rpm},
        {QStringLiteral("FanSpeed2"), QString::number(c.fanSpeed2) + rpm},
        {QStringLiteral("FanSpeed3"), QString::number(c.fanSpeed3) + rpm},
        {QStringLiteral("LdCurrent"), ampsText(c.ldCurrent)},
        {QStringLiteral("tecCurrent"), ampsText(c.tecCurrentMa)},
        {QStringLiteral("LdTemp"), tenthsText(c.ldTemp, spacedDegrees)},
        {QStringLiteral("LdTemp_2"), tenthsText(c.ldTemp2, spacedDegrees)},
        {QStringLiteral("lineEdit_MaxDacShow"), QString::number(c.maxDac)},
        {QStringLiteral("mcuTemperature"), tenthsText(c.mcuTemp, spacedDegrees)},
        {QStringLiteral("envTemperature"), tenthsText(c.envTemp, spacedDegrees)},
        {QStringLiteral("devLdType"), laserTypeText(c.ldType)},
    };
}

QVector<QPair<QString, QString>> shownFieldTexts(const DevStatusCache &c)
{
    QVector<QPair<QString, QString>> fields = fieldTexts(c);
    for (int i = 0; i < fields.size(); ++i)
        if (!(c.reportedFields & (1u << i)))
            fields[i].second.clear();
    return fields;
}

QVector<QPair<QString, bool>> lampStates(const DevStatusCache &c)
{
    // The laser lamp is green for "on"; for the others green means no fault.
    return {
        {QStringLiteral("label_LdOnOffStat"), c.ldOn},
        {QStringLiteral("CommStat"), !c.commError},
        {QStringLiteral("labelTempAlarm"), !c.tempAlarm},
        {QStringLiteral("labelFanAlarm_1"), !c.fan1Alarm},
        {QStringLiteral("labelFanAlarm_2"), !c.fan2Alarm},
        {QStringLiteral("labelFanAlarm_3"), !c.fan3Alarm},
    };
}

} // namespace StatusFormat
