#include "MqttNetworkLoop.h"

#include <mosquitto.h>

#include <QtGlobal>

#include <cerrno>
#include <chrono>

namespace {
// Wait in select() at most this long: a stop is noticed within it.
constexpr int LoopSliceMs = 500;
} // namespace

MqttNetworkLoop::MqttNetworkLoop(struct mosquitto *mosq, const QByteArray &host, int port, int keepAliveSeconds,
                                 int maxBackOffSeconds)
    : m_mosq(mosq), m_host(host), m_port(port), m_keepAlive(keepAliveSeconds), m_maxBackOff(maxBackOffSeconds)
{
    mosquitto_threaded_set(m_mosq, true);
}

MqttNetworkLoop::~MqttNetworkLoop()
{
    stop();
}

void MqttNetworkLoop::start(std::function<void(const Ended &)> onEnded)
{
    m_onEnded = std::move(onEnded);
    m_thread = std::thread([this] { run(); });
}

void MqttNetworkLoop::stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    mosquitto_disconnect(m_mosq);
    m_thread.join();
}

bool MqttNetworkLoop::sleepSeconds(int seconds)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_stopping.load(); });
}

MqttNetworkLoop::Ended MqttNetworkLoop::attempt()
{
    Ended ended;
    m_session = false;
    m_connack = false;
    m_refusal = 0;
    ended.rc = mosquitto_connect_async(m_mosq, m_host.constData(), m_port, m_keepAlive);
    ended.err = errno;
    if (ended.rc != MOSQ_ERR_SUCCESS)
        return ended;
    const auto begun = std::chrono::steady_clock::now();
    while (!m_stopping) {
        ended.rc = mosquitto_loop(m_mosq, LoopSliceMs, 1);
        ended.err = errno;
        if (ended.rc != MOSQ_ERR_SUCCESS)
            break;
        // A peer that takes the connection and never answers (a listener
        // that hangs, a handshake that stalls) must not hold the retries.
        if (!m_connack && std::chrono::steady_clock::now() - begun > std::chrono::milliseconds(ConnackWaitMs)) {
            ended.noAnswer = true;
            mosquitto_disconnect(m_mosq);
            mosquitto_loop(m_mosq, 100, 1);
            break;
        }
    }
    ended.hadSession = m_session;
    ended.refusal = m_refusal;
    return ended;
}

void MqttNetworkLoop::run()
{
    int delay = 1;
    while (!m_stopping) {
        const Ended ended = attempt();
        if (m_stopping)
            break;
        if (m_onEnded)
            m_onEnded(ended);
        if (ended.hadSession)
            delay = 1;
        if (!sleepSeconds(delay))
            break;
        delay = qMin(delay * 2, m_maxBackOff);
    }
    // A clean end: the DISCONNECT that stop() queued goes out, so the broker
    // does not publish the last will for a watch that said goodbye itself.
    mosquitto_disconnect(m_mosq);
    for (int i = 0; i < 10 && mosquitto_loop(m_mosq, 100, 1) == MOSQ_ERR_SUCCESS; ++i) {
    }
}
