#include "TrendCursor.h"

#include <QBrush>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QPen>
#include <QtCharts/QChart>

namespace {
// Over the lines and the legend.
constexpr qreal OnTop = 1000;
constexpr qreal Pad = 4;
} // namespace

TrendCursor::TrendCursor(QtCharts::QChart *chart)
    : line(new QGraphicsLineItem(chart)), box(new QGraphicsRectItem(chart)), label(new QGraphicsSimpleTextItem(box))
{
    line->setPen(QPen(QColor(0x30, 0x30, 0x30), 1, Qt::DashLine));
    box->setPen(QPen(QColor(0x80, 0x80, 0x80)));
    box->setBrush(QColor(255, 255, 255, 230));
    line->setZValue(OnTop);
    box->setZValue(OnTop + 1);
    hide();
}

void TrendCursor::show(qreal x, const QRectF &plotArea, const QString &text)
{
    line->setLine(x, plotArea.top(), x, plotArea.bottom());
    label->setText(text);
    const QRectF textRect = label->boundingRect();
    QRectF frame(0, 0, textRect.width() + 2 * Pad, textRect.height() + 2 * Pad);
    const qreal left = x + 8 + frame.width() <= plotArea.right() ? x + 8 : x - 8 - frame.width();
    frame.moveTopLeft(QPointF(qMax(plotArea.left(), left), plotArea.top() + 4));
    box->setRect(QRectF(QPointF(0, 0), frame.size()));
    box->setPos(frame.topLeft());
    label->setPos(Pad, Pad);
    line->show();
    box->show();
}

void TrendCursor::hide()
{
    line->hide();
    box->hide();
}

bool TrendCursor::isShown() const
{
    return line->isVisible();
}

QString TrendCursor::text() const
{
    return isShown() ? label->text() : QString();
}
