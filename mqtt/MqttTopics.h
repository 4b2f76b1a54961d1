#ifndef KORVEX_MQTTTOPICS_H
#define KORVEX_MQTTTOPICS_H

#include "MqttOptions.h"

#include <QString>

// Where a watched device's messages go: PREFIX/ID/LEAF, and the client
// identifier the broker knows the watch by. The ID is the --mqtt-id, or the
// device's serial number once it is known (empty until then).
class MqttTopics
{
public:
    // The leaves.
    static constexpr const char *Status = "status";
    static constexpr const char *Online = "online";
    static constexpr const char *Alarms = "alarms";
    static constexpr const char *Lost = "lost";
    static constexpr const char *Dropped = "dropped";

    explicit MqttTopics(const MqttOptions &options)
        : prefix(options.topicPrefix), chosenClientId(options.clientId), deviceId(options.id)
    {
    }

    QString id() const { return deviceId; }
    bool hasId() const { return !deviceId.isEmpty(); }
    // The ID from the device's serial number, made a safe topic level.
    void adoptSerialNumber(const QString &serial) { deviceId = MqttOptions::topicLevel(serial); }

    QString topic(const QString &leaf) const { return prefix + QLatin1Char('/') + deviceId + QLatin1Char('/') + leaf; }
    // --mqtt-client-id, else korvexctl-ID (empty while the ID is not known).
    QString clientId() const
    {
        if (!chosenClientId.isEmpty())
            return chosenClientId;
        return deviceId.isEmpty() ? QString() : QStringLiteral("korvexctl-") + deviceId;
    }

private:
    QString prefix;
    QString chosenClientId;
    QString deviceId;
};

#endif
