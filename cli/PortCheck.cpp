#include "PortCheck.h"

#include "LineOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Where QSerialPort and other serial programs leave their lock files.
const char *const LockDirs[] = {"/var/lock", "/run/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp"};

// "korvexctl, pid 4242" from a lock file naming the device, when there is one.
QString lockHolder(const QString &name)
{
    QStringList stems{QFileInfo(name).fileName()};
    const QString target = QFileInfo(name).canonicalFilePath();
    if (!target.isEmpty())
        stems << QFileInfo(target).fileName() << target.mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *dir : LockDirs) {
        for (const QString &stem : qAsConst(stems)) {
            QFile lock(QDir(QLatin1String(dir)).filePath(QStringLiteral("LCK..") + stem));
            if (!lock.open(QIODevice::ReadOnly))
                continue;
            const QList<QByteArray> lines = lock.read(256).split('\n');
            const QByteArray pid = lines.value(0).trimmed();
            if (pid.isEmpty() || ::kill(pid.toInt(), 0) != 0)
                continue; // stale
            QFile comm(QStringLiteral("/proc/%1/comm").arg(QString::fromLatin1(pid)));
            QString program = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed())
                                                              : QString::fromLocal8Bit(lines.value(1).trimmed());
            if (program.isEmpty())
                program = QStringLiteral("another program");
            return QStringLiteral("%1, pid %2").arg(program, QString::fromLatin1(pid));
        }
    }
    return QString();
}

} // namespace

namespace PortCheck {

QString deviceKey(const QString &name)
{
    struct stat st;
    if (::stat(QFile::encodeName(name).constData(), &st) == 0 && S_ISCHR(st.st_mode))
        return QStringLiteral("device %1").arg(qulonglong(st.st_rdev));
    const QString target = QFileInfo(name).canonicalFilePath();
    return target.isEmpty() ? name : target;
}

QStringList repeatedDevices(const QStringList &ports)
{
    QStringList seen;
    QStringList repeated;
    for (const QString &port : ports) {
        const QString key = deviceKey(port);
        if (seen.contains(key))
            repeated << port;
        seen << key;
    }
    return repeated;
}

QString otherDevice(const QStringList &ports)
{
    for (const QString &port : ports)
        if (deviceKey(port) != deviceKey(ports.first()))
            return port;
    return QString();
}

QString whyNotOpened(const QString &name)
{
    const QByteArray path = QFile::encodeName(name);
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return errno == EACCES ? QStringLiteral("permission denied") : QStringLiteral("does not exist");
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("is not a serial device (a directory)");
    if (S_ISREG(st.st_mode))
        return QStringLiteral("is not a serial device (a regular file)");
    if (!S_ISCHR(st.st_mode))
        return QStringLiteral("is not a serial device");
    const QString holder = lockHolder(name);
    if (!holder.isEmpty())
        return QStringLiteral("busy (held by %1)").arg(holder);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        switch (errno) {
        case EACCES:
        case EPERM:
            return QStringLiteral("permission denied (add the user to the dialout group and log in again)");
        case EBUSY:
            return QStringLiteral("busy (held by another program)");
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case EIO:
            return QStringLiteral("does not exist (device gone)");
        default:
            return QString::fromLocal8Bit(std::strerror(errno));
        }
    }
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    if (!terminal)
        return QStringLiteral("is not a serial device");
    return QString();
}

bool isGone(const QString &name)
{
    const QByteArray path = QFile::encodeName(LineSettings::openableName(name));
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    if (!S_ISCHR(st.st_mode))
        return false;
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == ENOENT || errno == ENXIO || errno == ENODEV || errno == EIO;
}

} // namespace PortCheck
