#ifndef KORVEX_MQTTOPTIONS_H
#define KORVEX_MQTTOPTIONS_H

#include <QString>

// The --mqtt options of `korvexctl watch`: where to publish the samples and
// how to log in. The password is read from a file so that it never shows in
// a process list or a shell history; it is never printed.
class MqttOptions
{
public:
    static constexpr int DefaultPort = 1883;
    static constexpr int DefaultTlsPort = 8883;

    QString host;                        // empty: no MQTT
    int port = 0;                        // 0: 1883, or 8883 with TLS
    QString topicPrefix = QStringLiteral("korvex");
    QString id;                          // empty: the device's serial number
    QString clientId;                    // empty: derived from the ID
    QString user;
    QString passwordFile;
    QString tlsCaFile;
    int qos = 1;
    QString password;                    // filled by finish() from passwordFile

    bool enabled() const { return !host.isEmpty(); }
    int effectivePort() const;

    // Takes the value of one option; false with a message when it is unusable.
    bool set(const QString &name, const QString &value, QString *error);
    // Checks the options together and reads the password file.
    bool finish(QString *error);

    // A topic level made safe: MQTT wildcards and separators become '_'.
    static QString topicLevel(const QString &text);
};

#endif
