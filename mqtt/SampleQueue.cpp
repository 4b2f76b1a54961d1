#include "SampleQueue.h"

#include <QtGlobal>

SampleQueue::SampleQueue(int capacity)
    : maxMessages(qMax(1, capacity))
{
}

void SampleQueue::setCapacity(int capacity)
{
    maxMessages = qMax(1, capacity);
    while (int(messages.size()) > maxMessages)
        dropOne();
}

bool SampleQueue::push(const MqttMessage &message)
{
    bool kept = true;
    if (int(messages.size()) >= maxMessages) {
        dropOne();
        kept = false;
    }
    messages.push_back(message);
    return kept;
}

MqttMessage SampleQueue::takeFirst()
{
    MqttMessage m = messages.front();
    messages.pop_front();
    return m;
}

void SampleQueue::pushFront(const MqttMessage &message)
{
    messages.push_front(message);
}

void SampleQueue::dropOne()
{
    for (auto it = messages.begin(); it != messages.end(); ++it) {
        if (!it->retain) {
            messages.erase(it);
            ++dropped;
            return;
        }
    }
    messages.pop_front();
    ++dropped;
}
