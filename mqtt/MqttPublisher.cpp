#include "MqttPublisher.h"

#include <QJsonDocument>
#include <QTimer>

namespace {

// How long messages handed over before a reconnect may stay unconfirmed:
// libmosquitto sends them again after it reconnects; if it does not confirm
// them in this time, they no longer hold back the queue.
constexpr int StaleInFlightMs = 10000;

QByteArray compactJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

MqttPublisher::MqttPublisher(const MqttOptions &options, QObject *parent)
    : QObject(parent), mqttOptions(options), topics(options), connection(options, topics), outbox(1200)
{
    connect(&connection, &MqttConnection::warning, this, &MqttPublisher::warning);
    connect(&connection, &MqttConnection::connectedChanged, this, &MqttPublisher::connectedChanged);
    connect(&connection, &MqttConnection::sessionStarted, this, &MqttPublisher::handleSessionStarted);
    connect(&connection, &MqttConnection::attemptEnded, this, &MqttPublisher::handleAttemptEnded);
    connect(&connection, &MqttConnection::published, this, &MqttPublisher::handlePublished);
}

MqttPublisher::~MqttPublisher() = default;

void MqttPublisher::setQueueCapacity(int messages)
{
    outbox.setCapacity(messages);
}

MqttPublisher::StartResult MqttPublisher::start(int waitMs, QString *error)
{
    const StartResult result = connection.start(waitMs, error);
    // Without an ID this was only a check: the connection that publishes
    // carries the ID in its last will and its client identifier, so it
    // waits for the ID.
    if (result == Started && !topics.hasId())
        connection.close();
    started = result == Started;
    return result;
}

// --- the connection's events ------------------------------------------------

void MqttPublisher::handleSessionStarted(bool afterTrouble)
{
    if (afterTrouble)
        emit warning(QStringLiteral("MQTT broker %1 connected; sending %2 waiting messages")
                         .arg(mqttOptions.host)
                         .arg(outbox.queuedCount()));
    if (!topics.hasId())
        return; // the check at start
    outbox.sendNow(MqttMessage{MqttTopics::Online, "true", true}, [this](const MqttMessage &m) { return send(m); });
    publishDropped();
    if (outbox.inFlightCount() > 0) {
        const QList<int> before = outbox.inFlightIds();
        QTimer::singleShot(StaleInFlightMs, this, [this, before] {
            outbox.forget(before);
            flush();
        });
    }
    flush();
}

void MqttPublisher::handleAttemptEnded()
{
    // QoS 0 messages are never sent again.
    if (mqttOptions.qos == 0)
        outbox.forgetSamplesInFlight();
}

void MqttPublisher::handlePublished(int mid)
{
    outbox.confirmed(mid);
    flush();
}

// --- the queue ----------------------------------------------------------------

int MqttPublisher::send(const MqttMessage &message)
{
    // Samples go with the chosen QoS; the state topics always with QoS 1.
    const int qos = message.leaf == MqttTopics::Status ? mqttOptions.qos : 1;
    return connection.publish(topics.topic(QString::fromUtf8(message.leaf)), message.payload, qos, message.retain);
}

void MqttPublisher::enqueue(const char *leaf, const QByteArray &payload, bool retain)
{
    if (!outbox.push(MqttMessage{leaf, payload, retain}) && !dropWarned) {
        emit warning(QStringLiteral("MQTT broker away too long: dropping the oldest samples, keeping the newest %1")
                         .arg(outbox.capacity()));
        dropWarned = true;
    }
    flush();
}

void MqttPublisher::flush()
{
    if (!connection.isOpen() || !connection.isConnected() || !topics.hasId())
        return;
    outbox.flush([this](const MqttMessage &m) { return send(m); });
    if (outbox.queuedCount() == 0)
        dropWarned = false;
}

void MqttPublisher::publishDropped()
{
    // Retained, so that a dashboard sees the gap in the history; sent when
    // connected, as the queue only drops while the broker is away.
    if (outbox.droppedCount() == droppedPublished || !connection.isConnected())
        return;
    const MqttMessage message{MqttTopics::Dropped, QByteArray::number(outbox.droppedCount()), true};
    if (outbox.sendNow(message, [this](const MqttMessage &m) { return send(m); }))
        droppedPublished = outbox.droppedCount();
}

// --- what the watcher publishes --------------------------------------------

void MqttPublisher::publishSample(const QJsonObject &sample)
{
    // A watch whose polls fill the whole interval never returns to the
    // event loop: the broker's acknowledgements and connection changes are
    // taken here, or the in-flight window would stay full.
    connection.takeEvents();
    adoptSerialNumber(sample.value(QStringLiteral("serial_number")).toString());
    const QJsonObject alarms = sample.value(QStringLiteral("alarms")).toObject();
    const bool alarmsChanged = !haveAlarms || alarms != lastAlarms;
    enqueue(MqttTopics::Status, compactJson(sample), false);
    if (alarmsChanged) {
        lastAlarms = alarms;
        haveAlarms = true;
        QJsonObject message = alarms;
        message.insert(QStringLiteral("time"), sample.value(QStringLiteral("time")));
        enqueue(MqttTopics::Alarms, compactJson(message), true);
    }
}

void MqttPublisher::publishLostSample(const QJsonObject &sample)
{
    connection.takeEvents();
    enqueue(MqttTopics::Status, compactJson(sample), false);
}

void MqttPublisher::setLinkLost(bool lost, const QString &time)
{
    connection.takeEvents();
    if (lost == linkLost)
        return;
    linkLost = lost;
    QJsonObject message{{QStringLiteral("time"), time}, {QStringLiteral("lost"), lost}};
    // Retained: a dashboard that starts while the device is away sees it.
    enqueue(MqttTopics::Lost, compactJson(message), true);
}

void MqttPublisher::adoptSerialNumber(const QString &serial)
{
    if (topics.hasId() || serial.isEmpty() || !started)
        return;
    // The first connection that publishes: everything queued so far goes
    // out under this ID, and so does everything after.
    topics.adoptSerialNumber(serial);
    connection.reconnect();
}

// --- the end -------------------------------------------------------------------

int MqttPublisher::finish(int timeoutMs)
{
    connection.takeEvents();
    if (!connection.isOpen() || !topics.hasId()) {
        // Never knew its ID: nothing was published, nothing is said.
        const int unsent = outbox.queuedCount();
        connection.stop();
        return unsent;
    }
    publishDropped();
    enqueue(MqttTopics::Online, "false", true);
    // Only a connected broker is waited for: one that is away now will not
    // get the queue in time, and its last will has said "false" already.
    if (connection.isConnected())
        MqttConnection::runEventsUntil(
            [this] { return outbox.isEmpty() || !connection.isConnected(); }, timeoutMs);
    const int unsent = outbox.queuedCount() + (connection.isConnected() ? outbox.inFlightCount() : 0);
    if (unsent > 0)
        emit warning(QStringLiteral("MQTT: %1 messages not delivered to broker %2").arg(unsent).arg(mqttOptions.host));
    connection.stop();
    return unsent;
}
