#include "WatchOutput.h"

#include "StatusRecord.h"
#include "StatusText.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>

WatchTextFile::~WatchTextFile()
{
    if (stream && stream != stdout)
        std::fclose(stream);
}

QString WatchTextFile::identity(const QString &path)
{
    if (path == QLatin1String("-"))
        return QStringLiteral("stdout");
    // The same before and after the file is made: a name of the folder
    // without links, and the file's own name unless it is a link.
    const QFileInfo info(path);
    const QString target = info.canonicalFilePath();
    if (!target.isEmpty())
        return target;
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
}

bool WatchTextFile::check(const QString &path, Existing existing, const QString &header, QString *error)
{
    if (path == QLatin1String("-"))
        return true;
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.isDir()) {
        *error = QStringLiteral("cannot write %1: the folder %2 does not exist").arg(path, folder.filePath());
        return false;
    }
    if (existing == Existing::Overwrite)
        return true;
    QFile file(path);
    if (!file.exists() || file.size() == 0)
        return true;
    if (existing == Existing::Refuse) {
        *error = QStringLiteral("%1 already holds data: --append adds to it, --overwrite replaces it").arg(path);
        return false;
    }
    if (header.isEmpty())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QByteArray first = file.readLine(1 << 16);
    while (first.endsWith('\n') || first.endsWith('\r'))
        first.chop(1);
    if (first != header.toUtf8()) {
        *error = QStringLiteral("%1 does not start with the header of these columns: not appended to").arg(path);
        return false;
    }
    return true;
}

bool WatchTextFile::open(const QString &path, Existing existing, QString *error)
{
    if (path == QLatin1String("-")) {
        stream = stdout;
        return true;
    }
    filePath = path;
    const QFileInfo info(path);
    empty = existing == Existing::Overwrite || !info.exists() || info.size() == 0;
    stream = std::fopen(QFile::encodeName(path).constData(), existing == Existing::Overwrite ? "w" : "a");
    if (!stream) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

bool WatchTextFile::reopen(QString *error)
{
    if (!stream || isStdout())
        return true;
    const QFileInfo info(filePath);
    FILE *file = std::fopen(QFile::encodeName(filePath).constData(), "a");
    if (!file) {
        *error = QStringLiteral("cannot reopen %1: %2; still writing the old file")
                     .arg(filePath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    std::fclose(stream);
    stream = file;
    empty = !info.exists() || info.size() == 0;
    return true;
}

bool WatchTextFile::writeLine(const QString &line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    // Flushed per row: a recording cut short keeps every row written so far.
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size())
           && std::fflush(stream) == 0;
}

bool FileWatchOutput::open(const QString &path, WatchTextFile::Existing existing, QString *error)
{
    if (!textFile.open(path, existing, error))
        return false;
    if (!startFile()) {
        *error = lastError;
        return false;
    }
    return true;
}

bool FileWatchOutput::startFile()
{
    if (header().isEmpty() || !textFile.isEmpty() || textFile.writeLine(header()))
        return true;
    lastError = QStringLiteral("cannot write the header: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

bool FileWatchOutput::reopen()
{
    return textFile.reopen(&lastError) && startFile();
}

QString CsvWatchOutput::header() const
{
    return StatusRecord::csvLine(StatusRecord::csvHeader());
}

bool CsvWatchOutput::sample(const QDateTime &time, const DevStatusCache &cache)
{
    return textFile.writeLine(StatusRecord::csvLine(StatusRecord::csvValues(time, cache)));
}

bool CsvWatchOutput::lost(const QDateTime &time)
{
    return textFile.writeLine(StatusRecord::csvLine(StatusRecord::lostCsvValues(time)));
}

bool JsonlWatchOutput::sample(const QDateTime &time, const DevStatusCache &cache)
{
    return textFile.writeLine(
        QString::fromUtf8(QJsonDocument(StatusRecord::sampleJson(time, cache)).toJson(QJsonDocument::Compact)));
}

bool JsonlWatchOutput::lost(const QDateTime &time)
{
    return textFile.writeLine(
        QString::fromUtf8(QJsonDocument(StatusRecord::lostSampleJson(time)).toJson(QJsonDocument::Compact)));
}

bool TerminalWatchOutput::take(const PolledSample &s)
{
    portPrefix = showPort ? s.port + QLatin1Char(' ') : QString();
    return WatchOutput::take(s);
}

bool TerminalWatchOutput::print(const QString &line)
{
    const QByteArray bytes = (portPrefix + line + QLatin1Char('\n')).toLocal8Bit();
    return std::fputs(bytes.constData(), stdout) >= 0 && std::fflush(stdout) == 0;
}

bool TerminalWatchOutput::sample(const QDateTime &time, const DevStatusCache &cache)
{
    return print(StatusText::compactLine(time, cache));
}

bool TerminalWatchOutput::lost(const QDateTime &time)
{
    return print(StatusText::lostLine(time));
}
