#ifndef KORVEX_FANCOMMAND_H
#define KORVEX_FANCOMMAND_H

#include <QByteArray>
#include <QVector>

// The three bytes of a fan command: byte 0 selects the kind (0x01 automatic
// control on, 0x00 off, 0xFF a PWM value), bytes 1 and 2 carry the PWM value
// high byte first, or 0xFF 0xFF when there is none.
namespace FanCommand {

QByteArray automatic(bool on);
QByteArray pwm(quint16 value);
// Whether three bytes are one of the commands above, a PWM value at most
// maxPwm (the catalogue's range for the command).
bool isValid(const QVector<quint32> &bytes, qint64 maxPwm);

} // namespace FanCommand

#endif
