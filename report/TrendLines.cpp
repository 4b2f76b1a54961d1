#include "TrendLines.h"

#include "StatusSchema.h"
#include "TrendSample.h"

#include <QCoreApplication>

namespace TrendLines {

const QVector<Line> &all()
{
    // Lines that often lie on top of each other (the two temperatures of a
    // settled laser, three fans at the same speed) differ in pen as well as
    // colour, and the one drawn last stays visible.
    static const QVector<Line> lines = {
        {TrendLaserTemp, QT_TRANSLATE_NOOP("TrendWd", "激光温度"), "℃", QColor(0xd6, 0x27, 0x28), Qt::SolidLine, PlotTemp},
        {TrendTemp2, QT_TRANSLATE_NOOP("TrendWd", "温度2"), "℃", QColor(0xff, 0x7f, 0x0e), Qt::DashDotLine, PlotTemp},
        {TrendMcuTemp, QT_TRANSLATE_NOOP("TrendWd", "MCU温度"), "℃", QColor(0x2c, 0xa0, 0x2c), Qt::SolidLine, PlotTemp},
        {TrendEnvTemp, QT_TRANSLATE_NOOP("TrendWd", "环境温度"), "℃", QColor(0x1f, 0x77, 0xb4), Qt::SolidLine, PlotTemp},
        {TrendTempThreshold, QT_TRANSLATE_NOOP("TrendWd", "温度保护阈值"), "℃", QColor(0x7f, 0x7f, 0x7f), Qt::DashLine,
         PlotTemp},
        {TrendLaserCurrent, QT_TRANSLATE_NOOP("TrendWd", "激光电流"), "A", QColor(0x94, 0x67, 0xbd), Qt::SolidLine,
         PlotCurrent},
        {TrendTecCurrent, QT_TRANSLATE_NOOP("TrendWd", "TEC电流"), "A", QColor(0x17, 0xbe, 0xcf), Qt::DashDotLine,
         PlotCurrent},
        {TrendFan1, QT_TRANSLATE_NOOP("TrendWd", "风扇1"), "rpm", QColor(0x1f, 0x77, 0xb4), Qt::SolidLine, PlotFan},
        {TrendFan2, QT_TRANSLATE_NOOP("TrendWd", "风扇2"), "rpm", QColor(0xbc, 0xbd, 0x22), Qt::DashLine, PlotFan},
        {TrendFan3, QT_TRANSLATE_NOOP("TrendWd", "风扇3"), "rpm", QColor(0x8c, 0x56, 0x4b), Qt::DotLine, PlotFan},
    };
    return lines;
}

QString name(const Line &line)
{
    return QCoreApplication::translate("TrendWd", line.name);
}

QString plotTitle(int plot)
{
    switch (plot) {
    case PlotTemp:
        return QCoreApplication::translate("TrendWd", "温度 ℃");
    case PlotCurrent:
        return QCoreApplication::translate("TrendWd", "电流 A");
    default:
        return QCoreApplication::translate("TrendWd", "转速 rpm");
    }
}

QString alarmName(int plot)
{
    switch (plot) {
    case PlotTemp:
        return QCoreApplication::translate("TrendWd", "温度告警");
    case PlotFan:
        return QCoreApplication::translate("TrendWd", "风扇告警");
    default:
        return QString();
    }
}

quint8 alarmMask(int plot)
{
    return plot == PlotTemp ? TrendTempAlarmMask : plot == PlotFan ? TrendFanAlarmMask : 0;
}

int decimals(int plot)
{
    return plot == PlotFan ? 0 : plot == PlotCurrent ? 3 : 1;
}

} // namespace TrendLines
