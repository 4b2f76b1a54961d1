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

MqttPublisher::MqttPublisher(const MqttOptions &options, const QString &stationId, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_id(options.id.isEmpty() ? MqttOptions::topicLevel(stationId) : options.id)
    , m_idFixed(!options.id.isEmpty())
    , m_queue(1200)
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

// --- libmosquitto's network thread: only post to our thread ---------------

void MqttPublisher::onConnectCallback(struct mosquitto *, void *self, int rc)
{
    auto *p = static_cast<MqttPublisher *>(self);
    QMetaObject::invokeMethod(p, [p, rc] { p->handleConnect(rc); }, Qt::QueuedConnection);
}

void MqttPublisher::onDisconnectCallback(struct mosquitto *, void *self, int rc)
{
    auto *p = static_cast<MqttPublisher *>(self);
    QMetaObject::invokeMethod(p, [p, rc] { p->handleDisconnect(rc); }, Qt::QueuedConnection);
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

bool MqttPublisher::setUp(QString *error)
{
    initLibrary();
    // A clean session with a broker-made client identifier: the samples that
    // wait are kept here, not in a broker session.
    m_mosq = mosquitto_new(nullptr, true, this);
    if (!m_mosq) {
        *error = QStringLiteral("cannot create an MQTT client: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    mosquitto_connect_callback_set(m_mosq, &MqttPublisher::onConnectCallback);
    mosquitto_disconnect_callback_set(m_mosq, &MqttPublisher::onDisconnectCallback);
    mosquitto_publish_callback_set(m_mosq, &MqttPublisher::onPublishCallback);
    mosquitto_log_callback_set(m_mosq, &MqttPublisher::onLogCallback);
    mosquitto_reconnect_delay_set(m_mosq, 1, MaxBackOffSeconds, true);
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
    return true;
}

bool MqttPublisher::beginConnection(QString *error)
{
    const QByteArray willTopic = topic(QStringLiteral("online")).toUtf8();
    mosquitto_will_set(m_mosq, willTopic.constData(), 5, "false", 1, true);
    // The network thread first: then the connection (name lookup included)
    // is made there, and a failed first attempt is retried like a lost
    // connection, with the growing back-off.
    if (mosquitto_loop_start(m_mosq) != MOSQ_ERR_SUCCESS) {
        *error = QStringLiteral("cannot start the MQTT network thread");
        return false;
    }
    m_loopRunning = true;
    const QByteArray host = m_options.host.toUtf8();
    const int rc = mosquitto_connect_async(m_mosq, host.constData(), m_options.effectivePort(), KeepAliveSeconds);
    if (rc == MOSQ_ERR_TLS) {
        // The handshake can fail before connect_async returns.
        m_lastTlsError = QStringLiteral("the TLS handshake failed");
        *error = QStringLiteral("MQTT broker %1:%2: TLS failed (is its certificate signed by %3, for this host name?)")
                     .arg(m_options.host)
                     .arg(m_options.effectivePort())
                     .arg(m_options.tlsCaFile);
        return false;
    }
    if (rc == MOSQ_ERR_EAI) {
        // Checked once, here: later lookups happen on the network thread.
        *error = QStringLiteral("cannot look up the MQTT broker's host name \"%1\"").arg(m_options.host);
        return false;
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = QStringLiteral("cannot connect to MQTT broker %1:%2: %3")
                     .arg(m_options.host)
                     .arg(m_options.effectivePort())
                     .arg(rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                               : QString::fromUtf8(mosquitto_strerror(rc)));
        return false;
    }
    return true;
}

void MqttPublisher::stopNetwork()
{
    if (!m_mosq || !m_loopRunning)
        return;
    mosquitto_disconnect(m_mosq);
    // After a disconnect the thread ends at once, also out of a back-off wait.
    mosquitto_loop_stop(m_mosq, false);
    m_loopRunning = false;
    m_connected = false;
}

MqttPublisher::StartResult MqttPublisher::start(int waitMs, QString *error)
{
    if (!setUp(error))
        return Failed;
    if (!beginConnection(error))
        return m_lastTlsError.isEmpty() ? Failed : Refused;
    // Waits for the first answer; a broker that is not there is no reason
    // to keep the poll waiting.
    waitUntil([this] { return m_connected || m_lastRefusal != 0 || !m_lastTlsError.isEmpty() || m_attemptFailed; },
              waitMs);
    if (m_lastRefusal != 0 && !m_connected) {
        *error = QStringLiteral("MQTT broker %1:%2 refused the login: %3")
                     .arg(m_options.host)
                     .arg(m_options.effectivePort())
                     .arg(connackText(m_lastRefusal));
        return Refused;
    }
    if (!m_lastTlsError.isEmpty() && !m_connected) {
        *error = QStringLiteral("MQTT broker %1:%2: TLS failed (is its certificate signed by %3, for this host name?): %4")
                     .arg(m_options.host)
                     .arg(m_options.effectivePort())
                     .arg(m_options.tlsCaFile, m_lastTlsError);
        return Refused;
    }
    if (!m_connected && !m_lostWarned) {
        emit warning(QStringLiteral("MQTT broker %1:%2 not reachable; retrying, samples are kept")
                         .arg(m_options.host)
                         .arg(m_options.effectivePort()));
        m_lostWarned = true;
    }
    // From now on refusals are the operator's to know, not reasons to stop.
    m_startDone = true;
    return Started;
}

// --- events from the network thread ----------------------------------------

void MqttPublisher::handleConnect(int rc)
{
    if (rc != 0) {
        if (m_startDone && rc != m_lastRefusal)
            emit warning(QStringLiteral("MQTT broker %1 refused the login: %2; retrying")
                             .arg(m_options.host, connackText(rc)));
        m_lastRefusal = rc;
        return;
    }
    m_lastRefusal = 0;
    m_lastTlsError.clear();
    m_connected = true;
    if (m_lostWarned)
        emit warning(QStringLiteral("MQTT broker %1 connected; sending %2 waiting messages")
                         .arg(m_options.host)
                         .arg(m_queue.size()));
    m_lostWarned = false;
    emit connectedChanged(true);

    int mid = 0;
    sendNow(MqttMessage{topic(QStringLiteral("online")).toUtf8(), "true", true}, 1, &mid);
    if (!m_inFlight.isEmpty()) {
        const QSet<int> before = m_inFlight;
        QTimer::singleShot(StaleInFlightMs, this, [this, before] {
            m_inFlight.subtract(before);
            flush();
        });
    }
    if (m_switchPending)
        beginIdSwitch();
    else
        flush();
}

void MqttPublisher::handleDisconnect(int rc)
{
    const bool was = m_connected;
    m_connected = false;
    m_attemptFailed = true;
    if (rc == MOSQ_ERR_TLS && m_lastTlsError.isEmpty())
        m_lastTlsError = QStringLiteral("the TLS handshake failed");
    if (m_options.qos == 0)
        m_inFlight.clear(); // QoS 0 messages are never sent again
    if (rc != 0 && was && !m_lostWarned) {
        emit warning(QStringLiteral("MQTT broker %1 lost; reconnecting (back-off up to %2 s), samples are kept")
                         .arg(m_options.host)
                         .arg(MaxBackOffSeconds));
        m_lostWarned = true;
    }
    if (was)
        emit connectedChanged(false);
}

void MqttPublisher::handlePublished(int mid)
{
    if (m_inFlight.remove(mid))
        ++m_delivered;
    if (m_switching && mid == m_switchMid) {
        reconnectWithNewId();
        return;
    }
    flush();
}

void MqttPublisher::handleLogError(const QString &text)
{
    if (text.contains(QLatin1String("SSL"), Qt::CaseInsensitive)
        || text.contains(QLatin1String("TLS"), Qt::CaseInsensitive)) {
        if (m_startDone && text != m_lastTlsError)
            emit warning(QStringLiteral("MQTT broker %1: %2").arg(m_options.host, text));
        m_lastTlsError = text;
    }
}

// --- the queue ----------------------------------------------------------------

int MqttPublisher::qosFor(const MqttMessage &message) const
{
    // Samples go with the chosen QoS; the state topics always with QoS 1.
    return message.topic.endsWith("/status") ? m_options.qos : 1;
}

bool MqttPublisher::sendNow(const MqttMessage &message, int qos, int *mid)
{
    const int rc = mosquitto_publish(m_mosq, mid, message.topic.constData(), message.payload.size(),
                                     message.payload.constData(), qos, message.retain);
    if (rc != MOSQ_ERR_SUCCESS)
        return false;
    m_inFlight.insert(*mid);
    return true;
}

void MqttPublisher::enqueue(const QString &leaf, const QByteArray &payload, bool retain)
{
    if (!m_queue.push(MqttMessage{topic(leaf).toUtf8(), payload, retain}) && !m_dropWarned) {
        emit warning(QStringLiteral("MQTT broker away too long: dropping the oldest samples, keeping the newest %1")
                         .arg(m_queue.capacity()));
        m_dropWarned = true;
    }
    flush();
}

void MqttPublisher::flush()
{
    if (!m_mosq || !m_connected || m_switching)
        return;
    while (!m_queue.isEmpty() && m_inFlight.size() < MaxInFlight) {
        const MqttMessage message = m_queue.takeFirst();
        int mid = 0;
        if (!sendNow(message, qosFor(message), &mid)) {
            m_queue.pushFront(message);
            return;
        }
    }
    if (m_queue.isEmpty())
        m_dropWarned = false;
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
    enqueue(QStringLiteral("lost"), compactJson(message), false);
}

// --- from the station's name to the serial number ------------------------------

void MqttPublisher::adoptSerialNumber(const QString &serial)
{
    if (m_idFixed || serial.isEmpty())
        return;
    m_idFixed = true;
    const QString id = MqttOptions::topicLevel(serial);
    if (id == m_id)
        return;
    m_oldId = m_id;
    m_id = id;
    // The last will names the old topic until the next connection: the
    // switch happens while connected (now, or as soon as the broker answers).
    m_switchPending = true;
    if (m_connected)
        beginIdSwitch();
}

void MqttPublisher::beginIdSwitch()
{
    m_switchPending = false;
    m_switching = true;
    // The old name goes offline cleanly, then the connection is made anew
    // with the last will on the new name.
    const QString oldOnline = m_options.topicPrefix + QLatin1Char('/') + m_oldId + QStringLiteral("/online");
    if (!sendNow(MqttMessage{oldOnline.toUtf8(), "false", true}, 1, &m_switchMid))
        reconnectWithNewId();
}

void MqttPublisher::reconnectWithNewId()
{
    // A new client altogether: the last will is part of the connection, and
    // a fresh client carries nothing over from the old one's network thread.
    stopNetwork();
    mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_switching = false;
    m_switchMid = -1;
    m_inFlight.clear(); // all confirmed: the switch waited for the last one sent
    QString error;
    if (!setUp(&error) || !beginConnection(&error)) {
        // Not connected and no network thread to retry: try again later.
        emit warning(error + QStringLiteral("; retrying"));
        QTimer::singleShot(MaxBackOffSeconds * 1000, this, [this] {
            if (!m_connected && !m_switching)
                reconnectWithNewId();
        });
    }
}

// --- the end -------------------------------------------------------------------

int MqttPublisher::finish(int timeoutMs)
{
    if (!m_mosq)
        return 0;
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
