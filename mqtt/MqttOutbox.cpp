#include "MqttOutbox.h"

#include "MqttTopics.h"

namespace {
bool isSample(const MqttMessage &message)
{
    return message.leaf == MqttTopics::Status;
}
} // namespace

bool MqttOutbox::sendNow(const MqttMessage &message, const Send &send)
{
    const int mid = send(message);
    if (mid < 0)
        return false;
    inFlight.insert(mid, isSample(message));
    return true;
}

void MqttOutbox::flush(const Send &send)
{
    while (!queue.isEmpty() && inFlight.size() < MaxInFlight) {
        const MqttMessage message = queue.takeFirst();
        if (!sendNow(message, send)) {
            queue.pushFront(message);
            return;
        }
    }
}

void MqttOutbox::confirmed(int mid)
{
    const auto it = inFlight.find(mid);
    if (it == inFlight.end())
        return;
    ++delivered;
    if (it.value())
        ++deliveredSampleCount;
    inFlight.erase(it);
}

void MqttOutbox::forgetSamplesInFlight()
{
    for (auto it = inFlight.begin(); it != inFlight.end();)
        it = it.value() ? inFlight.erase(it) : std::next(it);
}

void MqttOutbox::forget(const QList<int> &mids)
{
    for (int mid : mids)
        inFlight.remove(mid);
}
