#include "MqttConnection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

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

} // namespace

MqttConnection::MqttConnection(const MqttOptions &options, const MqttTopics &topics, QObject *parent)
    : QObject(parent), mqttOptions(options), mqttTopics(topics)
{
}

MqttConnection::~MqttConnection()
{
    close();
}

void MqttConnection::runEventsUntil(const std::function<bool()> &done, int timeoutMs)
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

// --- libmosquitto's network thread: only post to our thread ---------------

void MqttConnection::onConnectCallback(struct mosquitto *, void *self, int rc)
{
    auto *c = static_cast<MqttConnection *>(self);
    if (c->network)
        c->network->noteConnack(rc);
    QMetaObject::invokeMethod(c, [c, rc] { c->handleConnect(rc); }, Qt::QueuedConnection);
}

void MqttConnection::onPublishCallback(struct mosquitto *, void *self, int mid)
{
    auto *c = static_cast<MqttConnection *>(self);
    QMetaObject::invokeMethod(c, [c, mid] { emit c->published(mid); }, Qt::QueuedConnection);
}

void MqttConnection::onLogCallback(struct mosquitto *, void *self, int level, const char *text)
{
    if (!(level & MOSQ_LOG_ERR) || !text)
        return;
    auto *c = static_cast<MqttConnection *>(self);
    const QString line = QString::fromUtf8(text);
    QMetaObject::invokeMethod(c, [c, line] { c->handleLogError(line); }, Qt::QueuedConnection);
}

// --- setting up and connecting --------------------------------------------

bool MqttConnection::setUp(QString *error)
{
    initLibrary();
    // A clean session: the samples that wait are kept by the publisher, not
    // in a broker session. Without a known ID (only the check at start) the
    // broker makes the client identifier.
    const QByteArray client = mqttTopics.clientId().toUtf8();
    mosq = mosquitto_new(client.isEmpty() ? nullptr : client.constData(), true, this);
    if (!mosq) {
        *error = QStringLiteral("cannot create an MQTT client: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    mosquitto_connect_callback_set(mosq, &MqttConnection::onConnectCallback);
    mosquitto_publish_callback_set(mosq, &MqttConnection::onPublishCallback);
    mosquitto_log_callback_set(mosq, &MqttConnection::onLogCallback);
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
    if (mqttTopics.hasId()) {
        const QByteArray willTopic = mqttTopics.topic(QLatin1String(MqttTopics::Online)).toUtf8();
        mosquitto_will_set(mosq, willTopic.constData(), 5, "false", 1, true);
    }
    return true;
}

void MqttConnection::startNetwork()
{
    network = std::make_unique<MqttNetworkLoop>(mosq, mqttOptions.host.toUtf8(), mqttOptions.effectivePort(),
                                                  KeepAliveSeconds, MaxBackOffSeconds);
    network->start([this](const MqttNetworkLoop::Ended &ended) {
        QMetaObject::invokeMethod(this, [this, ended] { handleAttemptEnded(ended); }, Qt::QueuedConnection);
    });
}

void MqttConnection::stop()
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

void MqttConnection::close()
{
    stop();
    if (mosq)
        mosquitto_destroy(mosq);
    mosq = nullptr;
}

MqttConnection::StartResult MqttConnection::start(int waitMs, QString *error)
{
    if (!setUp(error))
        return Failed;
    startNetwork();
    // Waits for the first answer; a broker that is not there is no reason
    // to keep the poll waiting.
    runEventsUntil([this] { return answered; }, waitMs);
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
        stop();
        return result;
    }
    startDone = true;
    return Started;
}

void MqttConnection::reconnect()
{
    close();
    QString error;
    if (!setUp(&error)) {
        emit warning(error);
        return;
    }
    startNetwork();
}

int MqttConnection::publish(const QString &topic, const QByteArray &payload, int qos, bool retain)
{
    const QByteArray fullTopic = topic.toUtf8();
    int mid = 0;
    const int rc = mosquitto_publish(mosq, &mid, fullTopic.constData(), payload.size(), payload.constData(), qos,
                                     retain);
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

void MqttConnection::takeEvents()
{
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

// --- events from the network thread ----------------------------------------

MqttConnection::Failure MqttConnection::classify(const MqttNetworkLoop::Ended &ended) const
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

QString MqttConnection::failureText(Failure failure) const
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

void MqttConnection::handleConnect(int rc)
{
    if (rc != 0)
        return; // the attempt ends with the refusal: handleAttemptEnded()
    answered = true;
    lastRefusal = 0;
    currentFailure = Failure::None;
    lastTlsError.clear();
    connected = true;
    const bool afterTrouble = lostWarned;
    lostWarned = false;
    emit sessionStarted(afterTrouble);
    emit connectedChanged(true);
}

void MqttConnection::handleAttemptEnded(const MqttNetworkLoop::Ended &ended)
{
    answered = true;
    const bool was = connected;
    connected = false;
    const Failure failure = classify(ended);
    lastRefusal = ended.refusal;
    if (failure == Failure::Tls && lastTlsError.isEmpty())
        lastTlsError = QStringLiteral("the TLS handshake failed");
    emit attemptEnded();
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

void MqttConnection::handleLogError(const QString &text)
{
    if (text.contains(QLatin1String("SSL"), Qt::CaseInsensitive)
        || text.contains(QLatin1String("TLS"), Qt::CaseInsensitive))
        lastTlsError = text;
}
