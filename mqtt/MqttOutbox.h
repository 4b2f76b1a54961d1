#ifndef KORVEX_MQTTOUTBOX_H
#define KORVEX_MQTTOUTBOX_H

#include "SampleQueue.h"

#include <QHash>
#include <QList>

#include <functional>

// The messages on their way to the broker: those waiting (a bounded
// SampleQueue) and those handed to libmosquitto but not yet confirmed (at
// most MaxInFlight). Counts what the broker confirmed.
class MqttOutbox
{
public:
    static constexpr int MaxInFlight = 100;

    // Hands one message to the client: the message id, or -1 when it could not.
    using Send = std::function<int(const MqttMessage &)>;

    explicit MqttOutbox(int capacity) : queue(capacity) {}

    void setCapacity(int messages) { queue.setCapacity(messages); }
    int capacity() const { return queue.capacity(); }
    // Queues; false when an older message had to be dropped for it.
    bool push(const MqttMessage &message) { return queue.push(message); }
    // Sends what waits while the window of unconfirmed messages has room.
    void flush(const Send &send);
    // Sends past the queue (the state topics at a new connection).
    bool sendNow(const MqttMessage &message, const Send &send);

    // The broker confirmed this message.
    void confirmed(int mid);
    // After a lost connection: QoS 0 samples are never sent again.
    void forgetSamplesInFlight();
    // Messages handed over before a reconnect that were never confirmed no
    // longer hold back the queue.
    QList<int> inFlightIds() const { return inFlight.keys(); }
    void forget(const QList<int> &mids);

    int queuedCount() const { return queue.size(); }
    int inFlightCount() const { return inFlight.size(); }
    bool isEmpty() const { return queue.isEmpty() && inFlight.isEmpty(); }
    qint64 droppedCount() const { return queue.droppedCount(); }
    qint64 deliveredCount() const { return delivered; }
    qint64 deliveredSamples() const { return deliveredSampleCount; }

private:
    SampleQueue queue;
    QHash<int, bool> inFlight; // message id -> is a sample
    qint64 delivered = 0;
    qint64 deliveredSampleCount = 0;
};

#endif
