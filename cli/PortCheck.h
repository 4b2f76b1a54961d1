#ifndef KORVEX_PORTCHECK_H
#define KORVEX_PORTCHECK_H

#include <QString>
#include <QStringList>

// Serial ports as the devices they lead to, and why one could not be opened.
namespace PortCheck {

// One key per device: a link and its target, /dev/serial/by-id/... and
// /dev/ttyUSB0 give the same key; a name that leads nowhere is its own key.
QString deviceKey(const QString &name);

// The names of `ports` that lead to a device already named before them.
QStringList repeatedDevices(const QStringList &ports);
// The first name that leads to another device than the first one; empty
// when all lead to one.
QString otherDevice(const QStringList &ports);

// Why `name` cannot be opened as a serial port, in a few words: "does not
// exist", "is not a serial device (a regular file)", "permission denied ...",
// "busy (held by korvexctl, pid 4242)"; an empty string when no reason is
// found.
QString whyNotOpened(const QString &name);

// Whether the device behind `name` has gone away (unplugged, its pty master
// closed): the name leads nowhere or opening it finds no device.
bool isGone(const QString &name);

} // namespace PortCheck

#endif
