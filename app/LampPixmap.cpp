#include "LampPixmap.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace {
// The colours of the lamps' pictures before they were drawn; a faded lamp's
// colours are the same washed out.
const QColor LampGreen(0x00, 0xFF, 0x00);
const QColor LampRed(0xED, 0x1C, 0x24);
const QColor LampFadedGreen(0xA8, 0xD8, 0xA8);
const QColor LampFadedRed(0xE0, 0xAC, 0xAE);
constexpr int Side = 30;
} // namespace

QPixmap lampPixmap(bool green, bool live, qreal pixelRatio)
{
    QPixmap lamp(QSize(Side, Side) * pixelRatio);
    lamp.setDevicePixelRatio(pixelRatio);
    lamp.fill(green ? (live ? LampGreen : LampFadedGreen) : (live ? LampRed : LampFadedRed));
    QPainter painter(&lamp);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(live ? QColor(Qt::black) : QColor(0x70, 0x70, 0x70), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    QPainterPath symbol;
    if (green) {
        symbol.moveTo(8, 15.5);
        symbol.lineTo(13, 21);
        symbol.lineTo(22.5, 9);
    } else {
        symbol.moveTo(9.5, 9.5);
        symbol.lineTo(20.5, 20.5);
        symbol.moveTo(20.5, 9.5);
        symbol.lineTo(9.5, 20.5);
    }
    painter.drawPath(symbol);
    return lamp;
}
