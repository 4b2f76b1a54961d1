#include "MqttPublisher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QTimer>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

// How long messages handed over before a reconnect may stay unconfirmed:
// libmosquitto sends them again after it reconnects; if it does not confirm
// them in this time, they no longer hold back the queue.
constexpr int StaleInFlightMs = 10000;

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString connackText(int rc)
{
    switch (rc) {
    case 1: return QStringLiteral("it does not speak this protocol version");
    case 2: return QStringLiteral("it rejected the client identifier");
    case 3: return QStringLiteral("it is unavailable");
    case 4: return QStringLiteral("bad user name or password");
    case 5: return QStringLiteral("not authorised");
    default: return QStringLiteral("refusal code %1").arg(rc);
    }
}

QByteArray compactJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Runs the event loop until done() or timeoutMs have passed.
template <typename Done>
void waitUntil(Done done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QElapsedTimer timer;
    timer.start();
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || timer.elapsed() >= timeoutMs)
            loop.quit();
    });
    check.start(10);
    if (!done())
        loop.exec();
}

} // namespace

MqttPublisher::MqttPublisher(const MqttOptions &options, QObject *parent)
    : QObject(parent), mqttOptions(options), deviceId(options.id), queue(1200)
{
}

MqttPublisher::~MqttPublisher()
{
    stopNetwork();
    if (mosq)
        mosquitto_destroy(mosq);
}

void MqttPublisher::setQueueCapacity(int messages)
{
    queue.setCapacity(messages);
}

QString MqttPublisher::topic(const QString &leaf) const
{
    return mqttOptions.topicPrefix + QLatin1Char('/') + deviceId + QLatin1Char('/') + leaf;
}

QString MqttPublisher::clientId() const
{
    if (!mqttOptions.clientId.isEmpty())
        return mqttOptions.clientId;
    return deviceId.isEmpty() ? QString() : QStringLiteral("korvexctl-") + deviceId;
}

// --- libmosquitto's network thread: only post to our thread ---------------

void MqttPublisher::onConnectCallback(struct mosquitto *, void *self, int rc)
{
    auto *p = static_cast<MqttPublisher *>(self);
    if (p->network)
        p->network->noteConnack(rc);
    QMetaObject::invokeMethod(p, [p, rc] { p->handleConnect(rc); }, Qt::QueuedConnection);
}

void MqttPublisher::onPublishCallback(struct mosquitto *, void *self, int mid)
{
    auto *p = static_cast<MqttPublisher *>(self);
    QMetaObject::invokeMethod(p, [p, mid] { p->handlePublished(mid); }, Qt::QueuedConnection);
}

void MqttPublisher::onLogCallback(struct mosquitto *, void *self, int level, const char *text)
{
    if (!(level & MOSQ_LOG_ERR) || !text)
        return;
    auto *p = static_cast<MqttPublisher *>(self);
    const QString line = QString::fromUtf8(text);
    QMetaObject::invokeMethod(p, [p, line] { p->handleLogError(line); }, Qt::QueuedConnection);
}

// --- setting up and connecting --------------------------------------------

bool MqttPublisher::setUp(bool withWill, QString *error)
{
    initLibrary();
    // A clean session: the samples that wait are kept here, not in a broker
    // session. Without a known ID (only the check at start) the broker makes
    // the client identifier.
    const QByteArray client = clientId().toUtf8();
    mosq = mosquitto_new(client.isEmpty() ? nullptr : client.constData(), true, this);
    if (!mosq) {
        *error = QStringLiteral("cannot create an MQTT client: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    mosquitto_connect_callback_set(mosq, &MqttPublisher::onConnectCallback);
    mosquitto_publish_callback_set(mosq, &MqttPublisher::onPublishCallback);
    mosquitto_log_callback_set(mosq, &MqttPublisher::onLogCallback);
    if (!mqttOptions.user.isEmpty()) {
        const QByteArray user = mqttOptions.user.toUtf8();
        const QByteArray password = mqttOptions.password.toUtf8();
        const bool withPassword = !mqttOptions.passwordFile.isEmpty();
        if (mosquitto_username_pw_set(mosq, user.constData(), withPassword ? password.constData() : nullptr)
            != MOSQ_ERR_SUCCESS) {
            *error = QStringLiteral("the MQTT user name is not usable");
            return false;
        }
    }
    if (!mqttOptions.tlsCaFile.isEmpty()) {
        const QByteArray ca = QFile::encodeName(mqttOptions.tlsCaFile);
        const int rc = mosquitto_tls_set(mosq, ca.constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            *error = QStringLiteral("--mqtt-tls-ca \"%1\": %2")
                         .arg(mqttOptions.tlsCaFile, QString::fromUtf8(mosquitto_strerror(rc)));
            return false;
        }
    }
    if (withWill) {
        const QByteArray willTopic = topic(QStringLiteral("online")).toUtf8();
        mosquitto_will_set(mosq, willTopic.constData(), 5, "false", 1, true);
    }
    return true;
}

void MqttPublisher::startNetwork()
{
    network = std::make_unique<MqttNetworkLoop>(mosq, mqttOptions.host.toUtf8(), mqttOptions.effectivePort(),
                                                  KeepAliveSeconds, MaxBackOffSeconds);
    network->start([this](const MqttNetworkLoop::Ended &ended) {
        QMetaObject::invokeMethod(this, [this, ended] { handleAttemptEnded(ended); }, Qt::QueuedConnection);
    });
}

void MqttPublisher::stopNetwork()
{
    if (network)
        network->stop();
    network.reset();
    // What the stopped thread still posted is about a connection that is gone.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    if (connected)
        emit connectedChanged(false);
    connected = false;
}

MqttPublisher::StartResult MqttPublisher::start(int waitMs, QString *error)
{
    if (!setUp(!deviceId.isEmpty(), error))
        return Failed;
    startNetwork();
    // Waits for the first answer; a broker that is not there is no reason
    // to keep the poll waiting.
    waitUntil([this] { return answered; }, waitMs);
    const QString where = QStringLiteral("MQTT broker %1:%2").arg(mqttOptions.host).arg(mqttOptions.effectivePort());
    StartResult result = Started;
    if (!connected) {
        switch (currentFailure) {
        case Failure::Refused:
            *error = QStringLiteral("%1 refused the login: %2").arg(where, connackText(lastRefusal));
            result = Refused;
            break;
        case Failure::Tls:
            *error = QStringLiteral("%1: TLS failed (is its certificate signed by %2, for this host name?): %3")
                         .arg(where, mqttOptions.tlsCaFile, lastTlsError);
            result = Refused;
            break;
        case Failure::NotMqtt:
            *error = QStringLiteral("%1 %2").arg(where, failureText(Failure::NotMqtt));
            result = Refused;
            break;
        case Failure::Lookup:
            *error = QStringLiteral("cannot look up the MQTT broker's host name \"%1\"").arg(mqttOptions.host);
            result = Failed;
            break;
        default:
            emit warning(QStringLiteral("%1 not reachable; retrying, samples are kept").arg(where));
            lostWarned = true;
            break;
        }
    }
    if (result != Started) {
        stopNetwork();
        return result;
    }
    startDone = true;
    if (deviceId.isEmpty()) {
        // Only a check: the connection that publishes carries the ID in its
        // last will and its client identifier, so it waits for the ID.
        stopNetwork();
        mosquitto_destroy(mosq);
        mosq = nullptr;
    }
    return Started;
}

void MqttPublisher::connectAs(const QString &id)
{
    stopNetwork();
    if (mosq)
        mosquitto_destroy(mosq);
    mosq = nullptr;
    deviceId = id;
    QString error;
    if (!setUp(true, &error)) {
        emit warning(error);
        return;
    }
    startNetwork();
}

// --- events from the network thread ----------------------------------------

MqttPublisher::Failure MqttPublisher::classify(const MqttNetworkLoop::Ended &ended) const
{
    if (ended.refusal != 0 || ended.rc == MOSQ_ERR_CONN_REFUSED)
        return Failure::Refused;
    if (ended.rc == MOSQ_ERR_TLS)
        return Failure::Tls;
    if (ended.rc == MOSQ_ERR_EAI)
        return Failure::Lookup;
    if (ended.hadSession)
        return Failure::Lost;
    if (ended.noAnswer)
        return Failure::NoAnswer;
    if (ended.rc == MOSQ_ERR_ERRNO
        && (ended.err == ECONNREFUSED || ended.err == EHOSTUNREACH || ended.err == ENETUNREACH
            || ended.err == ETIMEDOUT || ended.err == EADDRNOTAVAIL))
        return Failure::Unreachable;
    // Connected, and the peer closed or sent something else than a CONNACK.
    return Failure::NotMqtt;
}

QString MqttPublisher::failureText(Failure failure) const
{
    switch (failure) {
    case Failure::Refused: return QStringLiteral("refused the login: %1").arg(connackText(lastRefusal));
    case Failure::Tls: return QStringLiteral("TLS failed: %1").arg(lastTlsError);
    case Failure::NotMqtt:
        return mqttOptions.tlsCaFile.isEmpty() ? QStringLiteral("did not speak MQTT (probably TLS: see --mqtt-tls-ca)")
                                             : QStringLiteral("did not speak MQTT");
    case Failure::NoAnswer: return QStringLiteral("took the connection but never answered");
    case Failure::Lookup: return QStringLiteral("host name cannot be looked up");
    case Failure::Unreachable: return QStringLiteral("not reachable");
    default: return QStringLiteral("lost");
    }
}

void MqttPublisher::handleConnect(int rc)
{
    if (rc != 0)
        return; // the attempt ends with the refusal: handleAttemptEnded()
    answered = true;
    lastRefusal = 0;
    currentFailure = Failure::None;
    lastTlsError.clear();
    connected = true;
    if (lostWarned)
        emit warning(QStringLiteral("MQTT broker %1 connected; sending %2 waiting messages")
                         .arg(mqttOptions.host)
                         .arg(queue.size()));
    lostWarned = false;
    emit connectedChanged(true);
    if (deviceId.isEmpty())
        return; // the check at start
    sendNow(QStringLiteral("online"), "true", true, 1);
    publishDropped();
    if (!inFlight.isEmpty()) {
        const QList<int> before = inFlight.keys();
        QTimer::singleShot(StaleInFlightMs, this, [this, before] {
            for (int mid : before)
                inFlight.remove(mid);
            flush();
        });
    }
    flush();
}

void MqttPublisher::handleAttemptEnded(const MqttNetworkLoop::Ended &ended)
{
    answered = true;
    const bool was = connected;
    connected = false;
    const Failure failure = classify(ended);
    lastRefusal = ended.refusal;
    if (failure == Failure::Tls && lastTlsError.isEmpty())
        lastTlsError = QStringLiteral("the TLS handshake failed");
    if (mqttOptions.qos == 0) {
        // QoS 0 messages are never sent again.
        for (auto it = inFlight.begin(); it != inFlight.end();)
            it = it.value() ? inFlight.erase(it) : std::next(it);
    }
    // One line per change of what is wrong, not one per retry; a broker
    // that is restarting is not reachable for a while after it was lost.
    const bool expected = currentFailure == Failure::Lost && failure == Failure::Unreachable;
    if (startDone && failure != currentFailure && !expected) {
        if (failure == Failure::Lost)
            emit warning(QStringLiteral("MQTT broker %1 lost; reconnecting (back-off up to %2 s), samples are kept")
                             .arg(mqttOptions.host)
                             .arg(MaxBackOffSeconds));
        else
            emit warning(QStringLiteral("MQTT broker %1:%2 %3; retrying")
                             .arg(mqttOptions.host)
                             .arg(mqttOptions.effectivePort())
                             .arg(failureText(failure)));
        lostWarned = true;
    }
    if (!expected)
        currentFailure = failure;
    if (was)
        emit connectedChanged(false);
}

void MqttPublisher::handlePublished(int mid)
{
    const auto it = inFlight.find(mid);
    if (it != inFlight.end()) {
        ++delivered;
        if (it.value())
            ++deliveredSampleCount;
        inFlight.erase(it);
    }
    flush();
}

void MqttPublisher::handleLogError(const QString &text)
{
    if (text.contains(QLatin1String("SSL"), Qt::CaseInsensitive)
        || text.contains(QLatin1String("TLS"), Qt::CaseInsensitive))
        lastTlsError = text;
}

// --- the queue ----------------------------------------------------------------

bool MqttPublisher::sendNow(const QString &leaf, const QByteArray &payload, bool retain, int qos)
{
    const QByteArray fullTopic = topic(leaf).toUtf8();
    int mid = 0;
    const int rc = mosquitto_publish(mosq, &mid, fullTopic.constData(), payload.size(), payload.constData(), qos,
                                     retain);
    if (rc != MOSQ_ERR_SUCCESS)
        return false;
    inFlight.insert(mid, leaf == QLatin1String("status"));
    return true;
}

void MqttPublisher::enqueue(const QString &leaf, const QByteArray &payload, bool retain)
{
    if (!queue.push(MqttMessage{leaf.toUtf8(), payload, retain}) && !dropWarned) {
        emit warning(QStringLiteral("MQTT broker away too long: dropping the oldest samples, keeping the newest %1")
                         .arg(queue.capacity()));
        dropWarned = true;
    }
    flush();
}

void MqttPublisher::flush()
{
    if (!mosq || !connected || deviceId.isEmpty())
        return;
    while (!queue.isEmpty() && inFlight.size() < MaxInFlight) {
        const MqttMessage message = queue.takeFirst();
        const QString leaf = QString::fromUtf8(message.leaf);
        // Samples go with the chosen QoS; the state topics always with QoS 1.
        const int qos = leaf == QLatin1String("status") ? mqttOptions.qos : 1;
        if (!sendNow(leaf, message.payload, message.retain, qos)) {
            queue.pushFront(message);
            return;
        }
    }
    if (queue.isEmpty())
        dropWarned = false;
}

void MqttPublisher::publishDropped()
{
    // Retained, so that a dashboard sees the gap in the history; sent when
    // connected, as the queue only drops while the broker is away.
    if (queue.droppedCount() == droppedPublished || !connected)
        return;
    if (sendNow(QStringLiteral("dropped"), QByteArray::number(queue.droppedCount()), true, 1))
        droppedPublished = queue.droppedCount();
}

// --- what the watcher publishes --------------------------------------------

void MqttPublisher::takeNetworkEvents()
{
    // A watch whose polls fill the whole interval never returns to the
    // event loop: the broker's acknowledgements and connection changes are
    // taken here, or the in-flight window would stay full.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void MqttPublisher::publishSample(const QJsonObject &sample)
{
    takeNetworkEvents();
    adoptSerialNumber(sample.value(QStringLiteral("serial_number")).toString());
    const QJsonObject alarms = sample.value(QStringLiteral("alarms")).toObject();
    const bool alarmsChanged = !haveAlarms || alarms != lastAlarms;
    enqueue(QStringLiteral("status"), compactJson(sample), false);
    if (alarmsChanged) {
        lastAlarms = alarms;
        haveAlarms = true;
        QJsonObject message = alarms;
        message.insert(QStringLiteral("time"), sample.value(QStringLiteral("time")));
        enqueue(QStringLiteral("alarms"), compactJson(message), true);
    }
}

void MqttPublisher::publishLostSample(const QJsonObject &sample)
{
    takeNetworkEvents();
    enqueue(QStringLiteral("status"), compactJson(sample), false);
}

void MqttPublisher::setLinkLost(bool lost, const QString &time)
{
    takeNetworkEvents();
    if (lost == linkLost)
        return;
    linkLost = lost;
    QJsonObject message{{QStringLiteral("time"), time}, {QStringLiteral("lost"), lost}};
    // Retained: a dashboard that starts while the device is away sees it.
    enqueue(QStringLiteral("lost"), compactJson(message), true);
}

void MqttPublisher::adoptSerialNumber(const QString &serial)
{
    if (!deviceId.isEmpty() || serial.isEmpty() || !startDone)
        return;
    // The first connection that publishes: everything queued so far goes
    // out under this ID, and so does everything after.
    connectAs(MqttOptions::topicLevel(serial));
}

// --- the end -------------------------------------------------------------------

int MqttPublisher::finish(int timeoutMs)
{
    takeNetworkEvents();
    if (!mosq || deviceId.isEmpty()) {
        // Never knew its ID: nothing was published, nothing is said.
        const int unsent = queue.size();
        stopNetwork();
        return unsent;
    }
    publishDropped();
    enqueue(QStringLiteral("online"), "false", true);
    // Only a connected broker is waited for: one that is away now will not
    // get the queue in time, and its last will has said "false" already.
    if (connected)
        waitUntil([this] { return allSent() || !connected; }, timeoutMs);
    const int unsent = queue.size() + (connected ? inFlight.size() : 0);
    if (unsent > 0)
        emit warning(QStringLiteral("MQTT: %1 messages not delivered to broker %2").arg(unsent).arg(mqttOptions.host));
    stopNetwork();
    return unsent;
}
