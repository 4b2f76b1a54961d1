#ifndef KORVEX_MQTTPUBLISHER_H
#define KORVEX_MQTTPUBLISHER_H

#include "MqttOptions.h"
#include "SampleQueue.h"

#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>

struct mosquitto;

// Publishes the samples of a watched device to an MQTT broker with
// libmosquitto, under PREFIX/ID/:
//   status  every sample (the status JSON plus "time"; a lost reply too)
//   online  retained "true" while connected, "false" at a clean end and as
//           the broker's last will when the process or its network dies
//   alarms  retained alarm flags, on every change and with the first sample
//   lost    one message when the device stops answering, one when it is back
//
// Threads: libmosquitto's network thread (mosquitto_loop_start) only posts
// its callbacks to this object's thread; everything else runs there. Publishing
// never waits for the broker: while it is away, messages wait in a bounded
// queue (oldest samples dropped first) and libmosquitto reconnects with a
// growing back-off up to 30 s. Only start() and finish() wait, each bounded.
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    enum StartResult {
        Started, // connected, or not reachable yet and retrying
        Refused, // the broker refused the login or its certificate failed
        Failed   // the client could not be set up (TLS file, library)
    };

    static constexpr int KeepAliveSeconds = 10;
    static constexpr int MaxInFlight = 100;
    static constexpr int MaxBackOffSeconds = 30;

    // stationId names this station until the device's serial number is known
    // (when no --mqtt-id was given): host name and serial port.
    MqttPublisher(const MqttOptions &options, const QString &stationId, QObject *parent = nullptr);
    ~MqttPublisher() override;

    // How many messages may wait for the broker (default 1200: ten minutes
    // of samples at the 500 ms poll).
    void setQueueCapacity(int messages);
    int queueCapacity() const { return m_queue.capacity(); }

    // Connects, waiting at most waitMs for the broker's first answer.
    StartResult start(int waitMs, QString *error);

    // A polled sample (status JSON with "time").
    void publishSample(const QJsonObject &sample);
    // A sample whose reply was lost ({"time", "lost": true}).
    void publishLostSample(const QJsonObject &sample);
    // The device's link state: lost when more than 10 exchanges in a row failed.
    void setLinkLost(bool lost, const QString &time);

    // Sends what waits and "false" on online, waiting at most timeoutMs, and
    // disconnects. Returns the number of messages left unsent.
    int finish(int timeoutMs);

    QString id() const { return m_id; }
    QString topic(const QString &leaf) const;
    bool isConnected() const { return m_connected; }
    int queuedCount() const { return m_queue.size(); }
    qint64 droppedCount() const { return m_queue.droppedCount(); }
    qint64 deliveredCount() const { return m_delivered; }

signals:
    // Something the operator should know (broker lost or back, refusals,
    // dropped samples). Never contains the password.
    void warning(const QString &text);
    void connectedChanged(bool connected);

private:
    static void onConnectCallback(struct mosquitto *, void *self, int rc);
    static void onDisconnectCallback(struct mosquitto *, void *self, int rc);
    static void onPublishCallback(struct mosquitto *, void *self, int mid);
    static void onLogCallback(struct mosquitto *, void *self, int level, const char *text);

    void takeNetworkEvents();
    void handleConnect(int rc);
    void handleDisconnect(int rc);
    void handlePublished(int mid);
    void handleLogError(const QString &text);

    bool setUp(QString *error);
    bool beginConnection(QString *error);
    void stopNetwork();
    void enqueue(const QString &leaf, const QByteArray &payload, bool retain);
    void flush();
    bool sendNow(const MqttMessage &message, int qos, int *mid);
    int qosFor(const MqttMessage &message) const;
    void adoptSerialNumber(const QString &serial);
    void beginIdSwitch();
    void reconnectWithNewId();
    bool allSent() const { return m_connected && !m_switching && m_queue.isEmpty() && m_inFlight.isEmpty(); }

    MqttOptions m_options;
    struct mosquitto *m_mosq = nullptr;
    bool m_loopRunning = false;
    QString m_id;
    bool m_idFixed;
    QString m_oldId;          // set while switching from the station's name to the serial number
    bool m_switchPending = false;
    bool m_switching = false;
    int m_switchMid = -1;
    bool m_connected = false;
    bool m_startDone = false;     // start() has returned Started
    bool m_attemptFailed = false; // a connection ended or failed
    bool m_lostWarned = false;
    int m_lastRefusal = 0;    // CONNACK code of the last refusal, 0 when none
    QString m_lastTlsError;
    bool m_dropWarned = false;
    SampleQueue m_queue;
    QSet<int> m_inFlight;
    qint64 m_delivered = 0;
    QJsonObject m_lastAlarms;
    bool m_haveAlarms = false;
    bool m_linkLost = false;
};

#endif
