#ifndef KORVEX_WINDOWSETTINGS_H
#define KORVEX_WINDOWSETTINGS_H

#include <QString>
#include <QVector>

// What the window remembers from one run to the next: the last device port
// it opened with its line settings, and whether it reconnects by itself.
// Kept in the one settings file of the window (QSettings, organisation
// "Korvex", application "korvex": ~/.config/Korvex/korvex.conf on Linux).
namespace WindowSettings {

// Port name, baud rate, stop bits, parity (the serial settings list), or an
// empty list when no port was ever opened.
QVector<QString> lastPort();
void setLastPort(const QVector<QString> &settings);

// On unless the operator switched it off.
bool autoReconnect();
void setAutoReconnect(bool on);

} // namespace WindowSettings

#endif
