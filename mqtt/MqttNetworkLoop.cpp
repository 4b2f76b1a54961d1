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
    : client(mosq), brokerHost(host), brokerPort(port), keepAlive(keepAliveSeconds), maxBackOff(maxBackOffSeconds)
{
    mosquitto_threaded_set(client, true);
}

MqttNetworkLoop::~MqttNetworkLoop()
{
    stop();
}

void MqttNetworkLoop::start(std::function<void(const Ended &)> onEnded)
{
    endedHandler = std::move(onEnded);
    networkThread = std::thread([this] { run(); });
}

void MqttNetworkLoop::stop()
{
    if (!networkThread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    mosquitto_disconnect(client);
    networkThread.join();
}

bool MqttNetworkLoop::sleepSeconds(int seconds)
{
    std::unique_lock<std::mutex> lock(mutex);
    return !wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping.load(); });
}

MqttNetworkLoop::Ended MqttNetworkLoop::attempt()
{
    Ended ended;
    session = false;
    connack = false;
    refusal = 0;
    ended.rc = mosquitto_connect_async(client, brokerHost.constData(), brokerPort, keepAlive);
    ended.err = errno;
    if (ended.rc != MOSQ_ERR_SUCCESS)
        return ended;
    const auto begun = std::chrono::steady_clock::now();
    while (!stopping) {
        ended.rc = mosquitto_loop(client, LoopSliceMs, 1);
        ended.err = errno;
        if (ended.rc != MOSQ_ERR_SUCCESS)
            break;
        // A peer that takes the connection and never answers (a listener
        // that hangs, a handshake that stalls) must not hold the retries.
        if (!connack && std::chrono::steady_clock::now() - begun > std::chrono::milliseconds(ConnackWaitMs)) {
            ended.noAnswer = true;
            mosquitto_disconnect(client);
            mosquitto_loop(client, 100, 1);
            break;
        }
    }
    ended.hadSession = session;
    ended.refusal = refusal;
    return ended;
}

void MqttNetworkLoop::run()
{
    int delay = 1;
    while (!stopping) {
        const Ended ended = attempt();
        if (stopping)
            break;
        if (endedHandler)
            endedHandler(ended);
        if (ended.hadSession)
            delay = 1;
        if (!sleepSeconds(delay))
            break;
        delay = qMin(delay * 2, maxBackOff);
    }
    // A clean end: the DISCONNECT that stop() queued goes out, so the broker
    // does not publish the last will for a watch that said goodbye itself.
    mosquitto_disconnect(client);
    for (int i = 0; i < 10 && mosquitto_loop(client, 100, 1) == MOSQ_ERR_SUCCESS; ++i) {
    }
}
