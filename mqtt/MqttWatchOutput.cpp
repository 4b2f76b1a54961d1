#include "MqttWatchOutput.h"

#include "StatusRecord.h"

namespace {
// At the end, how long queued samples and the final "false" may take.
constexpr int FinishWaitMs = 5000;
} // namespace

MqttWatchOutput::MqttWatchOutput(std::unique_ptr<MqttPublisher> publisher, std::function<quint32()> failures)
    : m_publisher(std::move(publisher)), m_failures(std::move(failures))
{
}

bool MqttWatchOutput::sample(const QDateTime &time, const DevStatusCache &cache)
{
    m_publisher->publishSample(StatusRecord::sampleJson(time, cache));
    updateLink(time);
    return true;
}

bool MqttWatchOutput::lost(const QDateTime &time)
{
    m_publisher->publishLostSample(StatusRecord::lostSampleJson(time));
    updateLink(time);
    return true;
}

void MqttWatchOutput::updateLink(const QDateTime &time)
{
    m_publisher->setLinkLost(m_failures() > LinkLampLimit, StatusRecord::timestamp(time));
}

void MqttWatchOutput::finish()
{
    m_publisher->finish(FinishWaitMs);
}
