#include "RecordStore.h"

#include "StatusRecord.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QMutex>
#include <QSaveFile>
#include <QUuid>

#include <unistd.h>

namespace {

// Units of one process share the records; the lock file keeps other
// processes out, this keeps the threads of this one apart.
QMutex &storeMutex()
{
    static QMutex mutex;
    return mutex;
}

QString folderName(const QString &serial)
{
    QString name = serial.isEmpty() ? QStringLiteral("unknown") : serial;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return name.startsWith(QLatin1Char('.')) ? QLatin1Char('_') + name : name;
}

} // namespace

RecordStore::RecordStore(const QString &directory) : root(QDir(directory).absolutePath()) {}

bool RecordStore::prepare(QString *error)
{
    if (!QDir().mkpath(root + QStringLiteral("/.running"))) {
        *error = QStringLiteral("cannot create the records folder %1").arg(root);
        return false;
    }
    return true;
}

QString RecordStore::startRun(QString *error)
{
    const QString path = root + QStringLiteral("/.running/") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!QDir().mkpath(path)) {
        *error = QStringLiteral("cannot create %1").arg(path);
        return QString();
    }
    return path;
}

QString RecordStore::folderStamp(const QDateTime &start)
{
    return start.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}

QString RecordStore::commit(const QString &runFolder, const QString &serial, const QDateTime &start, QString *error)
{
    const QString unit = folderName(serial);
    if (!QDir().mkpath(root + QLatin1Char('/') + unit)) {
        *error = QStringLiteral("cannot create %1/%2").arg(root, unit);
        return QString();
    }
    // rename(2) never replaces a folder that holds files, so two units that
    // race for the same name each get their own.
    for (int n = 1; n < 1000; ++n) {
        const QString relative = unit + QLatin1Char('/') + folderStamp(start)
            + (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        const QString target = root + QLatin1Char('/') + relative;
        if (QFileInfo::exists(target))
            continue;
        if (::rename(QFile::encodeName(runFolder).constData(), QFile::encodeName(target).constData()) == 0)
            return relative;
    }
    *error = QStringLiteral("cannot move the record %1 into %2/%3").arg(runFolder, root, unit);
    return QString();
}

bool RecordStore::writeAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.flush()
        || ::fsync(f.handle()) != 0 || !f.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

bool RecordStore::appendResult(const QStringList &row, const QStringList &header, QString *error)
{
    QMutexLocker inProcess(&storeMutex());
    const QString path = root + QStringLiteral("/results.csv");
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(30000);
    if (!lock.tryLock(20000)) {
        *error = QStringLiteral("%1 stayed locked by another station").arg(path);
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, f.errorString());
        return false;
    }
    QByteArray text;
    if (f.size() == 0)
        text = StatusRecord::csvLine(header).toUtf8() + '\n';
    text += StatusRecord::csvLine(row).toUtf8() + '\n';
    // One write of whole lines: a reader never sees half a row.
    if (f.write(text) != text.size() || !f.flush() || ::fsync(f.handle()) != 0) {
        *error = QStringLiteral("cannot append to %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

bool RecordStore::serialKnown(const QString &serial) const
{
    return QFileInfo::exists(root + QLatin1Char('/') + folderName(serial));
}

bool RecordStore::claimSerial(const QString &serial)
{
    // mkdir is atomic: of two stations claiming one number, one wins.
    return QDir(root).mkdir(folderName(serial));
}

QString RecordStore::allocateSerial(quint32 model, const QDate &day)
{
    QMutexLocker inProcess(&storeMutex());
    const QString prefix = QStringLiteral("%1-%2").arg(model).arg(day.toString(QStringLiteral("yyyyMMdd")));
    int next = 1;
    for (const QString &name : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (name.startsWith(prefix))
            next = qMax(next, name.mid(prefix.size()).toInt() + 1);
    }
    for (; next <= 0xFFFF; ++next) {
        const QString serial = prefix + QStringLiteral("%1").arg(next, 4, 10, QLatin1Char('0'));
        if (claimSerial(serial))
            return serial;
    }
    return QString();
}
