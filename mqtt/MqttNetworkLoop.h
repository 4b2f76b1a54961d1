#ifndef KORVEX_MQTTNETWORKLOOP_H
#define KORVEX_MQTTNETWORKLOOP_H

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

struct mosquitto;

// The network thread of one libmosquitto client. It connects, keeps the
// connection, and after ANY failure (broker gone, refused login, failed TLS
// handshake, a peer that closes or does not speak MQTT, no answer at all)
// waits the back-off and connects again, until stop(). libmosquitto's own
// thread (mosquitto_loop_start) ends for good on a TLS or protocol error;
// this one never does.
class MqttNetworkLoop
{
public:
    // How one connection attempt ended. rc is libmosquitto's result, err
    // the errno taken on this thread right after it.
    struct Ended {
        int rc = 0;
        int err = 0;
        bool hadSession = false; // the broker had accepted the login
        bool noAnswer = false;   // connected, but no CONNACK in time
        int refusal = 0;         // the CONNACK's refusal code, 0 when none
    };

    static constexpr int ConnackWaitMs = 10000;

    MqttNetworkLoop(struct mosquitto *mosq, const QByteArray &host, int port, int keepAliveSeconds,
                    int maxBackOffSeconds);
    ~MqttNetworkLoop();

    // onEnded runs on the network thread after every attempt that ended
    // (not after stop()); it should only post.
    void start(std::function<void(const Ended &)> onEnded);
    // Sends a clean DISCONNECT when connected, then ends the thread.
    void stop();
    // From the connect callback (the network thread): the broker's CONNACK.
    void noteConnack(int rc)
    {
        m_refusal = rc;
        m_session = m_session || rc == 0;
        m_connack = true;
    }

private:
    void run();
    Ended attempt();
    bool sleepSeconds(int seconds); // false when stopped meanwhile

    struct mosquitto *m_mosq;
    QByteArray m_host;
    int m_port;
    int m_keepAlive;
    int m_maxBackOff;
    std::function<void(const Ended &)> m_onEnded;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_session{false};
    std::atomic<bool> m_connack{false};
    std::atomic<int> m_refusal{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

#endif
