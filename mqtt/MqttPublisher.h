#ifndef KORVEX_MQTTPUBLISHER_H
#define KORVEX_MQTTPUBLISHER_H

#include "MqttConnection.h"
#include "MqttOptions.h"
#include "MqttOutbox.h"
#include "MqttTopics.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

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
// What goes where is MqttTopics', the client and its reconnecting network
// thread are MqttConnection's, the messages on their way MqttOutbox's; this
// class decides what is published when. Publishing never waits for the
// broker: while it is away, messages wait in a bounded queue (oldest samples
// dropped first) and the connection retries with a growing back-off up to
// 30 s, whatever made it fail. Only start() and finish() wait, each bounded.
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    using StartResult = MqttConnection::StartResult;
    static constexpr StartResult Started = MqttConnection::Started;
    static constexpr StartResult Refused = MqttConnection::Refused;
    static constexpr StartResult Failed = MqttConnection::Failed;

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

    QString id() const { return topics.id(); }
    QString clientId() const { return topics.clientId(); }
    QString topic(const QString &leaf) const { return topics.topic(leaf); }
    bool isConnected() const { return connection.isConnected(); }
    int queuedCount() const { return outbox.queuedCount(); }
    qint64 droppedCount() const { return outbox.droppedCount(); }
    qint64 deliveredCount() const { return outbox.deliveredCount(); }
    qint64 deliveredSamples() const { return outbox.deliveredSamples(); }

signals:
    // Something the operator should know (broker lost or back, refusals,
    // dropped samples). Never contains the password.
    void warning(const QString &text);
    void connectedChanged(bool connected);

private:
    void handleSessionStarted(bool afterTrouble);
    void handleAttemptEnded();
    void handlePublished(int mid);
    void enqueue(const char *leaf, const QByteArray &payload, bool retain);
    void flush();
    int send(const MqttMessage &message);
    void publishDropped();
    void adoptSerialNumber(const QString &serial);

    MqttOptions mqttOptions;
    MqttTopics topics;
    MqttConnection connection;
    MqttOutbox outbox;
    bool started = false; // start() returned Started
    bool dropWarned = false;
    qint64 droppedPublished = 0;
    QJsonObject lastAlarms;
    bool haveAlarms = false;
    bool linkLost = false;
};

#endif
