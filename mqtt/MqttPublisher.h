#ifndef KORVEX_MQTTPUBLISHER_H
#define KORVEX_MQTTPUBLISHER_H

#include "MqttNetworkLoop.h"
#include "MqttOptions.h"
#include "SampleQueue.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <memory>

struct mosquitto;

// Publishes the samples of a watched device to an MQTT broker with
// libmosquitto, under PREFIX/ID/:
//   status   every sample (the status JSON plus "time"; a lost reply too)
//   online   retained "true" while connected, "false" at a clean end and as
//            the broker's last will when the process or its network dies
//   alarms   retained alarm flags, on every change and with the first sample
//   lost     retained; when the device stops answering or its port goes, and
//            when it is back
//   dropped  retained; how many samples the queue dropped (when it changes)
//
// One station ID for the whole run: with no --mqtt-id, nothing is published
// before the device's serial number is known (samples wait in the queue);
// the client identifier at the broker is derived from the ID.
//
// Threads: the network thread (MqttNetworkLoop) only posts its events to
// this object's thread; everything else runs there. Publishing never waits
// for the broker: while it is away, messages wait in a bounded queue (oldest
// samples dropped first) and the network thread reconnects with a growing
// back-off up to 30 s, whatever made the connection fail. Only start() and
// finish() wait, each bounded.
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    enum StartResult {
        Started, // connected, or not reachable yet and retrying
        Refused, // the broker refused the login, its certificate failed, or it does not speak MQTT
        Failed   // the client could not be set up (TLS file, library, host name)
    };

    static constexpr int KeepAliveSeconds = 10;
    static constexpr int MaxInFlight = 100;
    static constexpr int MaxBackOffSeconds = 30;

    // The ID is options.id when given, else the device's serial number from
    // the first sample.
    explicit MqttPublisher(const MqttOptions &options, QObject *parent = nullptr);
    ~MqttPublisher() override;

    // How many messages may wait for the broker (default 1200: ten minutes
    // of samples at the 500 ms poll).
    void setQueueCapacity(int messages);

    // Checks the broker (reachable, login, TLS), waiting at most waitMs for
    // its first answer. Publishing starts once the ID is known.
    StartResult start(int waitMs, QString *error);

    // A polled sample (status JSON with "time").
    void publishSample(const QJsonObject &sample);
    // A sample whose reply was lost ({"time", "lost": true}).
    void publishLostSample(const QJsonObject &sample);
    // The device's link state: lost when more than 10 exchanges in a row
    // failed, or while its port is gone.
    void setLinkLost(bool lost, const QString &time);

    // Sends what waits and "false" on online, waiting at most timeoutMs, and
    // disconnects. Returns the number of messages left unsent.
    int finish(int timeoutMs);

    QString id() const { return m_id; }
    QString clientId() const;
    QString topic(const QString &leaf) const;
    bool isConnected() const { return m_connected; }
    int queuedCount() const { return m_queue.size(); }
    qint64 droppedCount() const { return m_queue.droppedCount(); }
    qint64 deliveredCount() const { return m_delivered; }
    qint64 deliveredSamples() const { return m_deliveredSamples; }

signals:
    // Something the operator should know (broker lost or back, refusals,
    // dropped samples). Never contains the password.
    void warning(const QString &text);
    void connectedChanged(bool connected);

private:
    // Why the last attempt failed, for the texts; None once connected.
    enum class Failure { None, Unreachable, Refused, Tls, NotMqtt, NoAnswer, Lookup, Lost };

    static void onConnectCallback(struct mosquitto *, void *self, int rc);
    static void onPublishCallback(struct mosquitto *, void *self, int mid);
    static void onLogCallback(struct mosquitto *, void *self, int level, const char *text);

    void takeNetworkEvents();
    void handleConnect(int rc);
    void handleAttemptEnded(const MqttNetworkLoop::Ended &ended);
    void handlePublished(int mid);
    void handleLogError(const QString &text);
    Failure classify(const MqttNetworkLoop::Ended &ended) const;
    QString failureText(Failure failure) const;

    bool setUp(bool withWill, QString *error);
    void startNetwork();
    void stopNetwork();
    void enqueue(const QString &leaf, const QByteArray &payload, bool retain);
    void flush();
    bool sendNow(const QString &leaf, const QByteArray &payload, bool retain, int qos);
    void publishDropped();
    void adoptSerialNumber(const QString &serial);
    void connectAs(const QString &id);
    bool allSent() const { return m_connected && m_queue.isEmpty() && m_inFlight.isEmpty(); }

    MqttOptions m_options;
    struct mosquitto *m_mosq = nullptr;
    std::unique_ptr<MqttNetworkLoop> m_network;
    QString m_id;             // empty until known
    bool m_connected = false;
    bool m_startDone = false; // start() has returned
    bool m_answered = false;  // the first attempt has ended or connected
    int m_lastRefusal = 0;    // CONNACK code of the last refusal, 0 when none
    Failure m_failure = Failure::None;
    bool m_lostWarned = false;
    QString m_lastTlsError;
    bool m_dropWarned = false;
    qint64 m_droppedPublished = 0;
    SampleQueue m_queue;
    QHash<int, bool> m_inFlight; // message id -> is a sample
    qint64 m_delivered = 0;
    qint64 m_deliveredSamples = 0;
    QJsonObject m_lastAlarms;
    bool m_haveAlarms = false;
    bool m_linkLost = false;
};

#endif
