#include "WindowSettings.h"

#include <QSettings>

namespace {

// Read anew on each use: two windows of one process (tests) see each other's changes.
#define KORVEX_SETTINGS(name) QSettings name(QStringLiteral("Korvex"), QStringLiteral("korvex"))

const char *const PortKeys[] = {"port/name", "port/baudRate", "port/stopBits", "port/parity"};
constexpr int PortKeyCount = int(sizeof PortKeys / sizeof PortKeys[0]);
const char ReconnectKey[] = "port/autoReconnect";
const char LogTimesKey[] = "log/showTimes";

} // namespace

namespace WindowSettings {

QVector<QString> lastPort()
{
    KORVEX_SETTINGS(store);
    QVector<QString> settings;
    for (const char *key : PortKeys)
        settings << store.value(QLatin1String(key)).toString();
    if (settings.first().isEmpty())
        settings.clear();
    return settings;
}

void setLastPort(const QVector<QString> &settings)
{
    if (settings.size() < PortKeyCount)
        return;
    KORVEX_SETTINGS(store);
    for (int i = 0; i < PortKeyCount; ++i)
        store.setValue(QLatin1String(PortKeys[i]), settings.at(i));
}

bool autoReconnect()
{
    KORVEX_SETTINGS(store);
    return store.value(QLatin1String(ReconnectKey), true).toBool();
}

void setAutoReconnect(bool on)
{
    KORVEX_SETTINGS(store);
    store.setValue(QLatin1String(ReconnectKey), on);
}

bool logTimes()
{
    KORVEX_SETTINGS(store);
    return store.value(QLatin1String(LogTimesKey), false).toBool();
}

void setLogTimes(bool on)
{
    KORVEX_SETTINGS(store);
    store.setValue(QLatin1String(LogTimesKey), on);
}

QRect windowGeometry(const QString &window)
{
    KORVEX_SETTINGS(store);
    return store.value(QStringLiteral("windows/") + window).toRect();
}

void setWindowGeometry(const QString &window, const QRect &frame)
{
    KORVEX_SETTINGS(store);
    store.setValue(QStringLiteral("windows/") + window, frame);
}

} // namespace WindowSettings
