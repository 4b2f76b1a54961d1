#ifndef KORVEX_TESTS_MQTTSUBSCRIBER_H
#define KORVEX_TESTS_MQTTSUBSCRIBER_H

// The other side of the broker in a test: a libmosquitto client subscribed
// with QoS 1 that records every message. With a name it keeps a session at
// the broker (clean_session=false), so that messages published while it is
// reconnecting after a broker restart still reach it.
//
//   MqttSubscriber sub(broker.port(), "korvex/#", "sub-1");
//   QVERIFY(sub.waitForConnected());
//   QVERIFY(sub.waitFor([&] { return sub.payloads("korvex/x/online").contains("true"); }));

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstring>
#include <mosquitto.h>
#include <mutex>
#include <vector>

class MqttSubscriber
{
public:
    struct Message {
        QByteArray topic;
        QByteArray payload;
        bool retained;
        bool redelivered; // sent again by the broker (DUP)
    };

    MqttSubscriber(quint16 port, const QByteArray &filter, const QByteArray &clientId = QByteArray(),
                   const QByteArray &caFile = QByteArray())
        : m_filter(filter)
    {
        mosquitto_lib_init();
        m_mosq = mosquitto_new(clientId.isEmpty() ? nullptr : clientId.constData(), clientId.isEmpty(), this);
        mosquitto_connect_callback_set(m_mosq, [](struct mosquitto *m, void *self, int rc) {
            auto *s = static_cast<MqttSubscriber *>(self);
            if (rc == 0) {
                mosquitto_subscribe(m, nullptr, s->m_filter.constData(), 1);
                s->m_connected = true;
            }
        });
        mosquitto_disconnect_callback_set(m_mosq, [](struct mosquitto *, void *self, int) {
            static_cast<MqttSubscriber *>(self)->m_connected = false;
        });
        mosquitto_subscribe_callback_set(m_mosq, [](struct mosquitto *, void *self, int, int, const int *) {
            static_cast<MqttSubscriber *>(self)->m_subscribed = true;
        });
        mosquitto_message_callback_set(m_mosq, [](struct mosquitto *, void *self, const mosquitto_message *m) {
            auto *s = static_cast<MqttSubscriber *>(self);
            std::lock_guard<std::mutex> lock(s->m_mutex);
            s->m_messages.push_back(Message{QByteArray(m->topic),
                                         QByteArray(static_cast<const char *>(m->payload), m->payloadlen),
                                         m->retain, s->m_nextIsRedelivery});
            s->m_nextIsRedelivery = false;
        });
        // Messages the broker sends again (DUP set: it had no acknowledgement
        // from this subscriber, e.g. across a broker restart).
        mosquitto_log_callback_set(m_mosq, [](struct mosquitto *, void *self, int, const char *text) {
            if (text && std::strstr(text, "received PUBLISH (d1")) {
                auto *s = static_cast<MqttSubscriber *>(self);
                ++s->m_redelivered;
                s->m_nextIsRedelivery = true; // the message callback follows on this thread
            }
        });
        mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
        if (!caFile.isEmpty())
            mosquitto_tls_set(m_mosq, caFile.constData(), nullptr, nullptr, nullptr, nullptr);
        mosquitto_connect_async(m_mosq, "127.0.0.1", port, 5);
        mosquitto_loop_start(m_mosq);
    }

    ~MqttSubscriber()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }

    bool isConnected() const { return m_connected; }
    int redelivered() const { return m_redelivered; }
    bool waitForConnected(int timeoutMs = 10000)
    {
        return waitFor([this] { return m_connected && m_subscribed; }, timeoutMs);
    }

    template <typename Condition>
    static bool waitFor(Condition condition, int timeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > timeoutMs)
                return false;
            QThread::msleep(10);
        }
        return true;
    }

    // A copy of its own: the network thread goes on appending meanwhile.
    QList<Message> messages() const
    {
        std::lock_guard<std::mutex> lock(m_mutex); // (a pthread mutex: visible to TSan)
        QList<Message> copy;
        for (const Message &m : m_messages)
            copy.append(Message{QByteArray(m.topic.constData(), m.topic.size()),
                                QByteArray(m.payload.constData(), m.payload.size()), m.retained,
                                m.redelivered});
        return copy;
    }

    // The newest payload on a topic, empty while none has come (safe to poll).
    QByteArray lastPayload(const QByteArray &topic) const
    {
        const QList<QByteArray> all = payloads(topic);
        return all.isEmpty() ? QByteArray() : all.last();
    }

    QList<QByteArray> payloads(const QByteArray &topic) const
    {
        QList<QByteArray> list;
        for (const Message &m : messages())
            if (m.topic == topic)
                list.append(m.payload);
        return list;
    }

    // As payloads(), without second deliveries of a message this subscriber
    // already has: what the publisher sent, once each. QoS 1 is at least
    // once: a publish whose PUBACK was lost to a broker that went away is
    // sent again to the next broker, which passes it on as new (no DUP
    // flag). Each payload carries its sequence number and time, so an exact
    // repeat is such a resend.
    QList<QByteArray> payloadsOnce(const QByteArray &topic) const
    {
        QList<QByteArray> list;
        for (const Message &m : messages())
            if (m.topic == topic && !list.contains(m.payload))
                list.append(m.payload);
        return list;
    }

    QList<Message> on(const QByteArray &topic) const
    {
        QList<Message> list;
        for (const Message &m : messages())
            if (m.topic == topic)
                list.append(m);
        return list;
    }

private:
    QByteArray m_filter;
    struct mosquitto *m_mosq = nullptr;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_subscribed{false};
    std::atomic<int> m_redelivered{0};
    bool m_nextIsRedelivery = false; // network thread only
    mutable std::mutex m_mutex;
    std::vector<Message> m_messages;
};

#endif
