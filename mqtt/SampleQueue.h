#ifndef KORVEX_SAMPLEQUEUE_H
#define KORVEX_SAMPLEQUEUE_H

#include <QByteArray>
#include <deque>

// One message on its way to the broker.
struct MqttMessage
{
    QByteArray leaf; // the last topic level: status, alarms, ...
    QByteArray payload;
    bool retain = false;
};

// The messages waiting for the broker, oldest first, at most `capacity` of
// them. When full, the oldest message that is not retained makes room: a
// retained message carries a state (the alarms) that a dashboard needs even
// after a long outage, the samples around it are history.
class SampleQueue
{
public:
    explicit SampleQueue(int capacity);

    void setCapacity(int capacity); // drops the oldest beyond the new bound
    int capacity() const { return m_capacity; }
    int size() const { return int(m_messages.size()); }
    bool isEmpty() const { return m_messages.empty(); }

    // Appends; returns false when an older message had to be dropped for it.
    bool push(const MqttMessage &message);
    MqttMessage takeFirst();
    // Puts back a message that could not be sent, at the front.
    void pushFront(const MqttMessage &message);

    // Messages dropped since the queue was created.
    qint64 droppedCount() const { return m_dropped; }

private:
    void dropOne();

    std::deque<MqttMessage> m_messages;
    int m_capacity;
    qint64 m_dropped = 0;
};

#endif
