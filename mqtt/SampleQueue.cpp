#include "SampleQueue.h"

#include <QtGlobal>

SampleQueue::SampleQueue(int capacity)
    : m_capacity(qMax(1, capacity))
{
}

void SampleQueue::setCapacity(int capacity)
{
    m_capacity = qMax(1, capacity);
    while (int(m_messages.size()) > m_capacity)
        dropOne();
}

bool SampleQueue::push(const MqttMessage &message)
{
    bool kept = true;
    if (int(m_messages.size()) >= m_capacity) {
        dropOne();
        kept = false;
    }
    m_messages.push_back(message);
    return kept;
}

MqttMessage SampleQueue::takeFirst()
{
    MqttMessage m = m_messages.front();
    m_messages.pop_front();
    return m;
}

void SampleQueue::pushFront(const MqttMessage &message)
{
    m_messages.push_front(message);
}

void SampleQueue::dropOne()
{
    for (auto it = m_messages.begin(); it != m_messages.end(); ++it) {
        if (!it->retain) {
            m_messages.erase(it);
            ++m_dropped;
            return;
        }
    }
    m_messages.pop_front();
    ++m_dropped;
}
