#ifndef KORVEX_TRENDLINES_H
#define KORVEX_TRENDLINES_H

#include <QColor>
#include <QString>
#include <QVector>

// The lines of the trend charts, in drawing order: which channel, its name
// (translated in the trend window's context), unit, colour, pen and which of
// the three plots (temperatures, currents, fans) holds it. The window and
// the printed charts draw from this one table.
namespace TrendLines {

enum Plot { PlotTemp, PlotCurrent, PlotFan, PlotCount };

struct Line
{
    int channel;           // TrendChannel
    const char *name;      // source text, context "TrendWd"
    const char *unit;
    QColor color;
    Qt::PenStyle style;
    int plot;
};

const QVector<Line> &all();
QString name(const Line &line);
// The plot's axis title ("温度 ℃") and its alarm's name (empty for currents).
QString plotTitle(int plot);
QString alarmName(int plot);
// The alarm bits a plot shades (0: none).
quint8 alarmMask(int plot);
// Decimals a value of the plot is shown with.
int decimals(int plot);

} // namespace TrendLines

#endif
