#include "MqttWatchOutput.h"

#include "StatusRecord.h"

namespace {
// At the end, how long queued samples and the final "false" may take.
constexpr int FinishWaitMs = 5000;
} // namespace

MqttWatchOutput::MqttWatchOutput(std::shared_ptr<MqttPublisher> publisher, std::function<quint32()> failures)
    : mqttPublisher(std::move(publisher)), consecutiveFailures(std::move(failures))
{
}

bool MqttWatchOutput::sample(const QDateTime &time, const DevStatusCache &cache)
{
    mqttPublisher->publishSample(StatusRecord::sampleJson(time, cache));
    updateLink(time);
    return true;
}

bool MqttWatchOutput::lost(const QDateTime &time)
{
    mqttPublisher->publishLostSample(StatusRecord::lostSampleJson(time));
    updateLink(time);
    return true;
}

void MqttWatchOutput::updateLink(const QDateTime &time)
{
    mqttPublisher->setLinkLost(consecutiveFailures() > LinkLampLimit, StatusRecord::timestamp(time));
}

void MqttWatchOutput::finish()
{
    mqttPublisher->finish(FinishWaitMs);
}
