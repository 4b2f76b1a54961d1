#ifndef KORVEX_TRENDCURSOR_H
#define KORVEX_TRENDCURSOR_H

#include <QRectF>
#include <QString>

class QGraphicsLineItem;
class QGraphicsRectItem;
class QGraphicsSimpleTextItem;
namespace QtCharts {
class QChart;
}

// The cursor of one trend plot: a vertical line at the time under the mouse
// and, beside it, a box with each line's value at that time. The three plots
// show it together; it is drawn over the chart, in the chart's coordinates.
class TrendCursor
{
public:
    explicit TrendCursor(QtCharts::QChart *chart);

    // x in chart coordinates; the box sits right of the line, or left of it
    // near the plot's right edge.
    void show(qreal x, const QRectF &plotArea, const QString &text);
    void hide();
    bool isShown() const;
    QString text() const;

private:
    QGraphicsLineItem *line;
    QGraphicsRectItem *box;
    QGraphicsSimpleTextItem *label;
};

#endif
