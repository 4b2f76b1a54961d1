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
