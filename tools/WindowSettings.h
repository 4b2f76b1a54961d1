#ifndef KORVEX_WINDOWSETTINGS_H
#define KORVEX_WINDOWSETTINGS_H

#include <QRect>
#include <QString>
#include <QVector>

// What the window remembers from one run to the next: the last device port
// it opened with its line settings, whether it reconnects by itself, whether
// the log shows each line's time, and where each window was last.
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

// Off unless the operator switched it on.
bool logTimes();
void setLogTimes(bool on);

// A window's last frame (position and size) by its object name; an empty
// rectangle when it was never saved.
QRect windowGeometry(const QString &window);
void setWindowGeometry(const QString &window, const QRect &frame);

} // namespace WindowSettings

#endif
