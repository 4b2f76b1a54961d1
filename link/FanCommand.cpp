#include "FanCommand.h"

namespace FanCommand {

QByteArray automatic(bool on)
{
    QByteArray arr(3, char(0xFF));
    arr[0] = char(on ? 0x01 : 0x00);
    return arr;
}

QByteArray pwm(quint16 value)
{
    QByteArray arr(3, char(0xFF));
    arr[1] = char((value >> 8) & 0xFF);
    arr[2] = char(value & 0xFF);
    return arr;
}

} // namespace FanCommand

namespace FanCommand {

bool isValid(const QVector<quint32> &b, qint64 maxPwm)
{
    if (b.size() != 3)
        return false;
    if (b.at(0) == 0x00 || b.at(0) == 0x01)
        return b.at(1) == 0xFF && b.at(2) == 0xFF;
    return b.at(0) == 0xFF && ((b.at(1) << 8) | b.at(2)) <= maxPwm;
}

} // namespace FanCommand
