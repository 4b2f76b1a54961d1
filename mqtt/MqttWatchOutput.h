#ifndef KORVEX_MQTTWATCHOUTPUT_H
#define KORVEX_MQTTWATCHOUTPUT_H

#include "MqttPublisher.h"
#include "WatchOutput.h"

#include <functional>
#include <memory>

// `korvexctl watch --mqtt`: every sample also goes to the broker. The broker
// is never a reason to stop the watch: this output always reports success,
// and a broker that is away only fills the publisher's queue.
class MqttWatchOutput : public WatchOutput
{
public:
    // More consecutive failed exchanges than this turn the window's link
    // lamp red; the same limit marks the device lost on MQTT.
    static constexpr quint32 LinkLampLimit = 10;

    // failures: the executor's count of consecutive failed exchanges. The
    // publisher is shared: whoever reads its counts after the watch keeps it
    // beyond this output, which the sample hub deletes when the watch ends.
    MqttWatchOutput(std::shared_ptr<MqttPublisher> publisher, std::function<quint32()> failures);

    bool sample(const QDateTime &time, const DevStatusCache &cache) override;
    bool lost(const QDateTime &time) override;
    void finish() override;

    MqttPublisher &publisher() { return *mqttPublisher; }

private:
    void updateLink(const QDateTime &time);

    std::shared_ptr<MqttPublisher> mqttPublisher;
    std::function<quint32()> consecutiveFailures;
};

#endif
