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
    : QObject(parent), m_options(options), m_id(options.id), m_queue(1200)
{
}

MqttPublisher::~MqttPublisher()
{
    stopNetwork();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

void MqttPublisher::setQueueCapacity(int messages)
{
    m_queue.setCapacity(messages);
}

QString MqttPublisher::topic(const QString &leaf) const
{
    return m_options.topicPrefix + QLatin1Char('/') + m_id + QLatin1Char('/') + leaf;
}

QString MqttPublisher::clientId() const
{
    if (!m_options.clientId.isEmpty())
        return m_options.clientId;
    return m_id.isEmpty() ? QString() : QStringLiteral("korvexctl-") + m_id;
}

// --- libmosquitto's network thread: only post to our thread ---------------

void MqttPublisher::onConnectCallback(struct mosquitto *, void *self, int rc)
{
    auto *p = static_cast<MqttPublisher *>(self);
    if (p->m_network)
        p->m_network->noteConnack(rc);
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
    m_mosq = mosquitto_new(client.isEmpty() ? nullptr : client.constData(), true, this);
    if (!m_mosq) {
        *error = QStringLiteral("cannot create an MQTT client: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    mosquitto_connect_callback_set(m_mosq, &MqttPublisher::onConnectCallback);
    mosquitto_publish_callback_set(m_mosq, &MqttPublisher::onPublishCallback);
    mosquitto_log_callback_set(m_mosq, &MqttPublisher::onLogCallback);
    if (!m_options.user.isEmpty()) {
        const QByteArray user = m_options.user.toUtf8();
        const QByteArray password = m_options.password.toUtf8();
        const bool withPassword = !m_options.passwordFile.isEmpty();
        if (mosquitto_username_pw_set(m_mosq, user.constData(), withPassword ? password.constData() : nullptr)
            != MOSQ_ERR_SUCCESS) {
            *error = QStringLiteral("the MQTT user name is not usable");
            return false;
        }
    }
    if (!m_options.tlsCaFile.isEmpty()) {
        const QByteArray ca = QFile::encodeName(m_options.tlsCaFile);
        const int rc = mosquitto_tls_set(m_mosq, ca.constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            *error = QStringLiteral("--mqtt-tls-ca \"%1\": %2")
                         .arg(m_options.tlsCaFile, QString::fromUtf8(mosquitto_strerror(rc)));
            return false;
        }
    }
    if (withWill) {
        const QByteArray willTopic = topic(QStringLiteral("online")).toUtf8();
        mosquitto_will_set(m_mosq, willTopic.constData(), 5, "false", 1, true);
    }
    return true;
}

void MqttPublisher::startNetwork()
{
    m_network = std::make_unique<MqttNetworkLoop>(m_mosq, m_options.host.toUtf8(), m_options.effectivePort(),
                                                  KeepAliveSeconds, MaxBackOffSeconds);
    m_network->start([this](const MqttNetworkLoop::Ended &ended) {
        QMetaObject::invokeMethod(this, [this, ended] { handleAttemptEnded(ended); }, Qt::QueuedConnection);
    });
}

void MqttPublisher::stopNetwork()
{
    if (m_network)
        m_network->stop();
    m_network.reset();
    // What the stopped thread still posted is about a connection that is gone.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    if (m_connected)
        emit connectedChanged(false);
    m_connected = false;
}

MqttPublisher::StartResult MqttPublisher::start(int waitMs, QString *error)
{
    if (!setUp(!m_id.isEmpty(), error))
        return Failed;
    startNetwork();
    // Waits for the first answer; a broker that is not there is no reason
    // to keep the poll waiting.
    waitUntil([this] { return m_answered; }, waitMs);
    const QString where = QStringLiteral("MQTT broker %1:%2").arg(m_options.host).arg(m_options.effectivePort());
    StartResult result = Started;
    if (!m_connected) {
        switch (m_failure) {
        case Failure::Refused:
            *error = QStringLiteral("%1 refused the login: %2").arg(where, connackText(m_lastRefusal));
            result = Refused;
            break;
        case Failure::Tls:
            *error = QStringLiteral("%1: TLS failed (is its certificate signed by %2, for this host name?): %3")
                         .arg(where, m_options.tlsCaFile, m_lastTlsError);
            result = Refused;
            break;
        case Failure::NotMqtt:
            *error = QStringLiteral("%1 %2").arg(where, failureText(Failure::NotMqtt));
            result = Refused;
            break;
        case Failure::Lookup:
            *error = QStringLiteral("cannot look up the MQTT broker's host name \"%1\"").arg(m_options.host);
            result = Failed;
            break;
        default:
            emit warning(QStringLiteral("%1 not reachable; retrying, samples are kept").arg(where));
            m_lostWarned = true;
            break;
        }
    }
    if (result != Started) {
        stopNetwork();
        return result;
    }
    m_startDone = true;
    if (m_id.isEmpty()) {
        // Only a check: the connection that publishes carries the ID in its
        // last will and its client identifier, so it waits for the ID.
        stopNetwork();
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
    return Started;
}

void MqttPublisher::connectAs(const QString &id)
{
    stopNetwork();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_id = id;
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
    case Failure::Refused: return QStringLiteral("refused the login: %1").arg(connackText(m_lastRefusal));
    case Failure::Tls: return QStringLiteral("TLS failed: %1").arg(m_lastTlsError);
    case Failure::NotMqtt:
        return m_options.tlsCaFile.isEmpty() ? QStringLiteral("did not speak MQTT (probably TLS: see --mqtt-tls-ca)")
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
    m_answered = true;
    m_lastRefusal = 0;
    m_failure = Failure::None;
    m_lastTlsError.clear();
    m_connected = true;
    if (m_lostWarned)
        emit warning(QStringLiteral("MQTT broker %1 connected; sending %2 waiting messages")
                         .arg(m_options.host)
                         .arg(m_queue.size()));
    m_lostWarned = false;
    emit connectedChanged(true);
    if (m_id.isEmpty())
        return; // the check at start
    sendNow(QStringLiteral("online"), "true", true, 1);
    publishDropped();
    if (!m_inFlight.isEmpty()) {
        const QList<int> before = m_inFlight.keys();
        QTimer::singleShot(StaleInFlightMs, this, [this, before] {
            for (int mid : before)
                m_inFlight.remove(mid);
            flush();
        });
    }
    flush();
}

void MqttPublisher::handleAttemptEnded(const MqttNetworkLoop::Ended &ended)
{
    m_answered = true;
    const bool was = m_connected;
    m_connected = false;
    const Failure failure = classify(ended);
    m_lastRefusal = ended.refusal;
    if (failure == Failure::Tls && m_lastTlsError.isEmpty())
        m_lastTlsError = QStringLiteral("the TLS handshake failed");
    if (m_options.qos == 0) {
        // QoS 0 messages are never sent again.
        for (auto it = m_inFlight.begin(); it != m_inFlight.end();)
            it = it.value() ? m_inFlight.erase(it) : std::next(it);
    }
    // One line per change of what is wrong, not one per retry; a broker
    // that is restarting is not reachable for a while after it was lost.
    const bool expected = m_failure == Failure::Lost && failure == Failure::Unreachable;
    if (m_startDone && failure != m_failure && !expected) {
        if (failure == Failure::Lost)
            emit warning(QStringLiteral("MQTT broker %1 lost; reconnecting (back-off up to %2 s), samples are kept")
                             .arg(m_options.host)
                             .arg(MaxBackOffSeconds));
        else
            emit warning(QStringLiteral("MQTT broker %1:%2 %3; retrying")
                             .arg(m_options.host)
                             .arg(m_options.effectivePort())
                             .arg(failureText(failure)));
        m_lostWarned = true;
    }
    if (!expected)
        m_failure = failure;
    if (was)
        emit connectedChanged(false);
}

void MqttPublisher::handlePublished(int mid)
{
    const auto it = m_inFlight.find(mid);
    if (it != m_inFlight.end()) {
        ++m_delivered;
        if (it.value())
            ++m_deliveredSamples;
        m_inFlight.erase(it);
    }
    flush();
}

void MqttPublisher::handleLogError(const QString &text)
{
    if (text.contains(QLatin1String("SSL"), Qt::CaseInsensitive)
        || text.contains(QLatin1String("TLS"), Qt::CaseInsensitive))
        m_lastTlsError = text;
}

// --- the queue ----------------------------------------------------------------

bool MqttPublisher::sendNow(const QString &leaf, const QByteArray &payload, bool retain, int qos)
{
    const QByteArray fullTopic = topic(leaf).toUtf8();
    int mid = 0;
    const int rc = mosquitto_publish(m_mosq, &mid, fullTopic.constData(), payload.size(), payload.constData(), qos,
                                     retain);
    if (rc != MOSQ_ERR_SUCCESS)
        return false;
    m_inFlight.insert(mid, leaf == QLatin1String("status"));
    return true;
}

void MqttPublisher::enqueue(const QString &leaf, const QByteArray &payload, bool retain)
{
    if (!m_queue.push(MqttMessage{leaf.toUtf8(), payload, retain}) && !m_dropWarned) {
        emit warning(QStringLiteral("MQTT broker away too long: dropping the oldest samples, keeping the newest %1")
                         .arg(m_queue.capacity()));
        m_dropWarned = true;
    }
    flush();
}

void MqttPublisher::flush()
{
    if (!m_mosq || !m_connected || m_id.isEmpty())
        return;
    while (!m_queue.isEmpty() && m_inFlight.size() < MaxInFlight) {
        const MqttMessage message = m_queue.takeFirst();
        const QString leaf = QString::fromUtf8(message.leaf);
        // Samples go with the chosen QoS; the state topics always with QoS 1.
        const int qos = leaf == QLatin1String("status") ? m_options.qos : 1;
        if (!sendNow(leaf, message.payload, message.retain, qos)) {
            m_queue.pushFront(message);
            return;
        }
    }
    if (m_queue.isEmpty())
        m_dropWarned = false;
}

void MqttPublisher::publishDropped()
{
    // Retained, so that a dashboard sees the gap in the history; sent when
    // connected, as the queue only drops while the broker is away.
    if (m_queue.droppedCount() == m_droppedPublished || !m_connected)
        return;
    if (sendNow(QStringLiteral("dropped"), QByteArray::number(m_queue.droppedCount()), true, 1))
        m_droppedPublished = m_queue.droppedCount();
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
    const bool alarmsChanged = !m_haveAlarms || alarms != m_lastAlarms;
    enqueue(QStringLiteral("status"), compactJson(sample), false);
    if (alarmsChanged) {
        m_lastAlarms = alarms;
        m_haveAlarms = true;
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
    if (lost == m_linkLost)
        return;
    m_linkLost = lost;
    QJsonObject message{{QStringLiteral("time"), time}, {QStringLiteral("lost"), lost}};
    // Retained: a dashboard that starts while the device is away sees it.
    enqueue(QStringLiteral("lost"), compactJson(message), true);
}

void MqttPublisher::adoptSerialNumber(const QString &serial)
{
    if (!m_id.isEmpty() || serial.isEmpty() || !m_startDone)
        return;
    // The first connection that publishes: everything queued so far goes
    // out under this ID, and so does everything after.
    connectAs(MqttOptions::topicLevel(serial));
}

// --- the end -------------------------------------------------------------------

int MqttPublisher::finish(int timeoutMs)
{
    takeNetworkEvents();
    if (!m_mosq || m_id.isEmpty()) {
        // Never knew its ID: nothing was published, nothing is said.
        const int unsent = m_queue.size();
        stopNetwork();
        return unsent;
    }
    publishDropped();
    enqueue(QStringLiteral("online"), "false", true);
    // Only a connected broker is waited for: one that is away now will not
    // get the queue in time, and its last will has said "false" already.
    if (m_connected)
        waitUntil([this] { return allSent() || !m_connected; }, timeoutMs);
    const int unsent = m_queue.size() + (m_connected ? m_inFlight.size() : 0);
    if (unsent > 0)
        emit warning(QStringLiteral("MQTT: %1 messages not delivered to broker %2").arg(unsent).arg(m_options.host));
    stopNetwork();
    return unsent;
}
