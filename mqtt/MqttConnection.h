#ifndef KORVEX_MQTTCONNECTION_H
#define KORVEX_MQTTCONNECTION_H

#include "MqttNetworkLoop.h"
#include "MqttOptions.h"
#include "MqttTopics.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

struct mosquitto;

// One libmosquitto client and its network thread (MqttNetworkLoop), which
// connects and after any failure reconnects with a growing back-off up to
// MaxBackOffSeconds. The client logs in, uses TLS, and (once the ID is
// known) leaves "false" on the online topic as its last will.
//
// Threads: libmosquitto's callbacks and the network thread only post their
// events to this object's thread; everything else runs there. The
// operator's texts (warning) say once what is wrong, not once per retry.
class MqttConnection : public QObject
{
    Q_OBJECT

public:
    enum StartResult {
        Started, // connected, or not reachable yet and retrying
        Refused, // the broker refused the login, its certificate failed, or it does not speak MQTT
        Failed   // the client could not be set up (TLS file, library, host name)
    };

    static constexpr int KeepAliveSeconds = 10;
    static constexpr int MaxBackOffSeconds = 30;

    MqttConnection(const MqttOptions &options, const MqttTopics &topics, QObject *parent = nullptr);
    ~MqttConnection() override;

    // Sets the client up and connects, waiting at most waitMs for the
    // broker's first answer. A broker that is not there yet is Started (and
    // retried); what it refuses ends the connection.
    StartResult start(int waitMs, QString *error);
    // A new client for the topics as they are now (the ID just became known).
    void reconnect();
    // Ends the network thread (a clean DISCONNECT when connected); the client stays.
    void stop();
    // stop(), and the client is gone.
    void close();

    bool isOpen() const { return mosq != nullptr; }
    bool isConnected() const { return connected; }
    // Hands a message to libmosquitto; its id, or -1 when it was not taken.
    int publish(const QString &topic, const QByteArray &payload, int qos, bool retain);
    // Takes the events the network thread posted (for a caller that does
    // not return to the event loop between polls).
    void takeEvents();

    // Runs the event loop until done() or timeoutMs have passed.
    static void runEventsUntil(const std::function<bool()> &done, int timeoutMs);

signals:
    // The broker accepted the login; afterTrouble when a warning said it was away.
    void sessionStarted(bool afterTrouble);
    // A connection or an attempt at one ended.
    void attemptEnded();
    void published(int mid);
    void connectedChanged(bool connected);
    void warning(const QString &text);

private:
    // Why the last attempt failed, for the texts; None once connected.
    enum class Failure { None, Unreachable, Refused, Tls, NotMqtt, NoAnswer, Lookup, Lost };

    static void onConnectCallback(struct mosquitto *, void *self, int rc);
    static void onPublishCallback(struct mosquitto *, void *self, int mid);
    static void onLogCallback(struct mosquitto *, void *self, int level, const char *text);

    bool setUp(QString *error);
    void startNetwork();
    void handleConnect(int rc);
    void handleAttemptEnded(const MqttNetworkLoop::Ended &ended);
    void handleLogError(const QString &text);
    Failure classify(const MqttNetworkLoop::Ended &ended) const;
    QString failureText(Failure failure) const;

    MqttOptions mqttOptions;
    const MqttTopics &mqttTopics;
    struct mosquitto *mosq = nullptr;
    std::unique_ptr<MqttNetworkLoop> network;
    bool connected = false;
    bool startDone = false; // start() has returned
    bool answered = false;  // the first attempt has ended or connected
    int lastRefusal = 0;    // CONNACK code of the last refusal, 0 when none
    Failure currentFailure = Failure::None;
    bool lostWarned = false;
    QString lastTlsError;
};

#endif
