#include "MqttOptions.h"

#include <QFile>

namespace {
bool hasWildcard(const QString &text)
{
    return text.contains(QLatin1Char('+')) || text.contains(QLatin1Char('#'));
}

// "host", "host:1883", "[::1]:1883", "::1" (a bare IPv6 address has no port).
bool splitHostPort(const QString &text, QString *host, int *port, QString *error)
{
    QString h = text;
    QString p;
    if (h.startsWith(QLatin1Char('['))) {
        const int close = h.indexOf(QLatin1Char(']'));
        if (close < 0) {
            *error = QStringLiteral("--mqtt: \"%1\" lacks the closing ]").arg(text);
            return false;
        }
        p = h.mid(close + 1);
        h = h.mid(1, close - 1);
        if (!p.isEmpty() && !p.startsWith(QLatin1Char(':'))) {
            *error = QStringLiteral("--mqtt: \"%1\" is not HOST[:PORT]").arg(text);
            return false;
        }
        p = p.mid(1);
    } else if (h.count(QLatin1Char(':')) == 1) {
        p = h.section(QLatin1Char(':'), 1);
        h = h.section(QLatin1Char(':'), 0, 0);
    }
    if (h.isEmpty()) {
        *error = QStringLiteral("--mqtt: \"%1\" names no host").arg(text);
        return false;
    }
    *host = h;
    *port = 0;
    if (!p.isEmpty()) {
        bool ok = false;
        const int n = p.toInt(&ok, 10);
        if (!ok || n < 1 || n > 65535) {
            *error = QStringLiteral("--mqtt: port \"%1\" is not a number from 1 to 65535").arg(p);
            return false;
        }
        *port = n;
    }
    return true;
}
} // namespace

int MqttOptions::effectivePort() const
{
    if (port > 0)
        return port;
    return tlsCaFile.isEmpty() ? DefaultPort : DefaultTlsPort;
}

bool MqttOptions::set(const QString &name, const QString &value, QString *error)
{
    if (name == QLatin1String("--mqtt"))
        return splitHostPort(value.trimmed(), &host, &port, error);
    if (name == QLatin1String("--mqtt-topic")) {
        QString prefix = value;
        while (prefix.endsWith(QLatin1Char('/')))
            prefix.chop(1);
        if (prefix.isEmpty() || hasWildcard(prefix)) {
            *error = QStringLiteral("--mqtt-topic: \"%1\" is not a topic prefix (not empty, no + or #)").arg(value);
            return false;
        }
        topicPrefix = prefix;
        return true;
    }
    if (name == QLatin1String("--mqtt-id")) {
        if (value.isEmpty() || hasWildcard(value) || value.contains(QLatin1Char('/'))) {
            *error = QStringLiteral("--mqtt-id: \"%1\" is not one topic level (not empty, no /, + or #)").arg(value);
            return false;
        }
        id = value;
        return true;
    }
    if (name == QLatin1String("--mqtt-client-id")) {
        if (value.isEmpty() || value.toUtf8().size() > 65535) {
            *error = QStringLiteral("--mqtt-client-id: \"%1\" is not a client identifier (not empty)").arg(value);
            return false;
        }
        clientId = value;
        return true;
    }
    if (name == QLatin1String("--mqtt-user")) {
        user = value;
        return true;
    }
    if (name == QLatin1String("--mqtt-password-file")) {
        passwordFile = value;
        return true;
    }
    if (name == QLatin1String("--mqtt-tls-ca")) {
        tlsCaFile = value;
        return true;
    }
    if (name == QLatin1String("--mqtt-qos")) {
        if (value != QLatin1String("0") && value != QLatin1String("1")) {
            *error = QStringLiteral("--mqtt-qos: \"%1\" is not 0 or 1").arg(value);
            return false;
        }
        qos = value.toInt();
        return true;
    }
    *error = QStringLiteral("unknown option %1").arg(name);
    return false;
}

bool MqttOptions::finish(QString *error)
{
    const bool anyOther = topicPrefix != QLatin1String("korvex") || !id.isEmpty() || !clientId.isEmpty() || !user.isEmpty()
        || !passwordFile.isEmpty() || !tlsCaFile.isEmpty() || qos != 1;
    if (host.isEmpty()) {
        if (anyOther) {
            *error = QStringLiteral("the --mqtt-… options need --mqtt HOST[:PORT]");
            return false;
        }
        return true;
    }
    if (!passwordFile.isEmpty() && user.isEmpty()) {
        *error = QStringLiteral("--mqtt-password-file needs --mqtt-user");
        return false;
    }
    if (!tlsCaFile.isEmpty()) {
        QFile ca(tlsCaFile);
        if (!ca.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("--mqtt-tls-ca: cannot read \"%1\"").arg(tlsCaFile);
            return false;
        }
        // The TLS library takes PEM certificates; any other file would only
        // fail later, at every connection, as a handshake error.
        if (!ca.read(1 << 20).contains("-----BEGIN CERTIFICATE-----")) {
            *error = QStringLiteral("--mqtt-tls-ca: \"%1\" holds no certificate (PEM)").arg(tlsCaFile);
            return false;
        }
    }
    password.clear();
    if (!passwordFile.isEmpty()) {
        QFile f(passwordFile);
        if (!f.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("--mqtt-password-file: cannot read \"%1\": %2").arg(passwordFile, f.errorString());
            return false;
        }
        // The first line is the password; a trailing line end is not part of it.
        QByteArray line = f.read(4096);
        const int end = line.indexOf('\n');
        if (end >= 0)
            line.truncate(end);
        if (line.endsWith('\r'))
            line.chop(1);
        password = QString::fromUtf8(line);
    }
    return true;
}

QString MqttOptions::topicLevel(const QString &text)
{
    QString level = text;
    for (QChar &c : level) {
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#') || c.unicode() < 0x20)
            c = QLatin1Char('_');
    }
    return level.isEmpty() ? QStringLiteral("_") : level;
}
