#ifndef KORVEX_TESTS_MOSQUITTOBROKER_H
#define KORVEX_TESTS_MOSQUITTOBROKER_H

// A real mosquitto broker for a test, on a free local port, with its own
// configuration in a temporary directory:
//
//   MosquittoBroker broker;                       // anonymous, plain TCP
//   broker.setLogin("station", "s3cret");         // optional: password file
//   broker.enableTls();                           // optional: test CA + certificate
//   QVERIFY2(broker.start(), qPrintable(broker.errorText()));
//   ... broker.port(), broker.caFile() ...
//   broker.stop(); broker.start();                // same port, retained state kept
//   broker.setOtherCertificate(true);             // next start: a certificate no client trusts
//
// Persistence is on, so retained messages and the sessions of subscribers
// with a clean_session=false survive a restart.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class MosquittoBroker
{
public:
    MosquittoBroker() { m_port = freePort(); }
    ~MosquittoBroker() { stop(); }
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;

    // A port nobody listens on now: bind port 0, read what the system chose.
    static quint16 freePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        quint16 port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
            port = ntohs(a.sin_port);
        ::close(fd);
        return port;
    }

    static bool accepts(quint16 port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    }

    // Takes effect at the next start (the password file is made anew).
    void setLogin(const QString &user, const QString &password)
    {
        m_user = user;
        m_password = password;
        QFile::remove(m_dir.filePath("passwd"));
    }

    // Makes a CA and a certificate for "localhost" signed by it (openssl).
    // The broker also listens without TLS on plainPort(), for a test's own
    // clients while the TLS listener is made to fail.
    bool enableTls()
    {
        m_tls = true;
        m_plainPort = freePort();
        const QString d = m_dir.path();
        return run("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                               "-keyout", d + "/ca.key", "-out", d + "/ca.crt", "-days", "2", "-subj",
                               "/CN=Korvex test CA"})
            && run("openssl", {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                               d + "/server.key", "-out", d + "/server.csr", "-subj", "/CN=localhost"})
            && writeFile(d + "/san.ext", "subjectAltName=DNS:localhost,IP:127.0.0.1\n")
            && run("openssl", {"x509", "-req", "-in", d + "/server.csr", "-CA", d + "/ca.crt", "-CAkey", d + "/ca.key",
                               "-CAcreateserial", "-out", d + "/server.crt", "-days", "2", "-extfile", d + "/san.ext"})
            && run("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                               "-keyout", d + "/other.key", "-out", d + "/other-ca.crt", "-days", "2", "-subj",
                               "/CN=Some other CA"});
    }

    // Takes effect at the next start: the listener shows the other CA's
    // self-signed certificate, which the test CA did not sign.
    void setOtherCertificate(bool other) { m_otherCertificate = other; }

    bool start(int timeoutMs = 10000)
    {
        if (m_port == 0) {
            m_error = "no free port";
            return false;
        }
        if (!writeConfig())
            return false;
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program(), {"-c", m_dir.filePath("mosquitto.conf")});
        if (!m_process.waitForStarted(timeoutMs)) {
            m_error = "cannot start mosquitto: " + m_process.errorString();
            return false;
        }
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            if (accepts(m_port))
                return true;
            if (m_process.state() != QProcess::Running)
                break;
            QThread::msleep(50);
        }
        m_error = "mosquitto does not listen on port " + QString::number(m_port) + ": "
            + QString::fromLocal8Bit(m_process.readAll());
        return false;
    }

    // SIGTERM: mosquitto saves its persistent state and closes its clients.
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Debian puts the broker in /usr/sbin, which a normal user's PATH lacks.
    static QString program()
    {
        QString found = QStandardPaths::findExecutable("mosquitto");
        if (found.isEmpty())
            found = QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/usr/local/sbin"});
        return found.isEmpty() ? QStringLiteral("mosquitto") : found;
    }

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    quint16 port() const { return m_port; }
    quint16 plainPort() const { return m_plainPort; }
    QString caFile() const { return m_dir.filePath("ca.crt"); }
    QString otherCaFile() const { return m_dir.filePath("other-ca.crt"); }
    QString log() { return QString::fromLocal8Bit(m_process.readAll()); }
    QString errorText() const { return m_error; }
    QString dir() const { return m_dir.path(); }

private:
    bool run(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            m_error = program + " " + args.join(' ') + ": " + QString::fromLocal8Bit(p.readAll());
            return false;
        }
        return true;
    }

    bool writeFile(const QString &path, const QByteArray &text)
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size()) {
            m_error = "cannot write " + path;
            return false;
        }
        return true;
    }

    bool writeConfig()
    {
        const QString d = m_dir.path();
        QFile::setPermissions(d, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                     | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        QByteArray conf;
        // As root, mosquitto would change to the user "mosquitto", which may
        // not read this directory.
        if (::geteuid() == 0)
            conf += "user root\n";
        // Clients connect to "localhost": where that name also means ::1 (and
        // is tried first there), the broker listens on both loopbacks.
        QByteArray listeners = "listener " + QByteArray::number(m_port) + " 127.0.0.1\n" + tlsLines();
        if (localhostHasIpv6())
            listeners += "listener " + QByteArray::number(m_port) + " ::1\n" + tlsLines();
        if (m_plainPort != 0)
            listeners += "listener " + QByteArray::number(m_plainPort) + " 127.0.0.1\n";
        conf += listeners;
        conf += "persistence true\npersistence_location " + QFile::encodeName(d) + "/\n";
        conf += "log_dest stdout\nlog_type error\nlog_type warning\n";
        if (m_user.isEmpty()) {
            conf += "allow_anonymous true\n";
        } else {
            if (!QFile::exists(d + "/passwd")
                && !run("mosquitto_passwd", {"-b", "-c", d + "/passwd", m_user, m_password}))
                return false;
            conf += "allow_anonymous false\npassword_file " + QFile::encodeName(d) + "/passwd\n";
        }
        return writeFile(d + "/mosquitto.conf", conf);
    }

    // The certificate settings of one listener (empty without TLS).
    QByteArray tlsLines() const
    {
        if (!m_tls)
            return QByteArray();
        const QByteArray d = QFile::encodeName(m_dir.path());
        if (m_otherCertificate)
            return "cafile " + d + "/ca.crt\ncertfile " + d + "/other-ca.crt\nkeyfile " + d + "/other.key\n";
        return "cafile " + d + "/ca.crt\ncertfile " + d + "/server.crt\nkeyfile " + d + "/server.key\n";
    }

    static bool localhostHasIpv6()
    {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        if (::getaddrinfo("localhost", nullptr, &hints, &found) != 0)
            return false;
        bool v6 = false;
        for (addrinfo *a = found; a; a = a->ai_next)
            v6 = v6 || a->ai_family == AF_INET6;
        ::freeaddrinfo(found);
        return v6;
    }

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    quint16 m_plainPort = 0; // with TLS: a listener without it
    QString m_user;
    QString m_password;
    bool m_tls = false;
    bool m_otherCertificate = false;
    QString m_error;
};

#endif
