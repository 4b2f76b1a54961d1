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
    if (m_file && m_file != stdout)
        std::fclose(m_file);
}

bool WatchTextFile::check(const QString &path, Existing existing, const QString &header, QString *error)
{
    if (path == QLatin1String("-") || existing == Existing::Overwrite)
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
        m_file = stdout;
        return true;
    }
    m_path = path;
    const QFileInfo info(path);
    m_empty = existing == Existing::Overwrite || !info.exists() || info.size() == 0;
    m_file = std::fopen(QFile::encodeName(path).constData(), existing == Existing::Overwrite ? "w" : "a");
    if (!m_file) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

bool WatchTextFile::reopen(QString *error)
{
    if (!m_file || isStdout())
        return true;
    const QFileInfo info(m_path);
    FILE *file = std::fopen(QFile::encodeName(m_path).constData(), "a");
    if (!file) {
        *error = QStringLiteral("cannot reopen %1: %2; still writing the old file")
                     .arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    std::fclose(m_file);
    m_file = file;
    m_empty = !info.exists() || info.size() == 0;
    return true;
}

bool WatchTextFile::writeLine(const QString &line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    // Flushed per row: a recording cut short keeps every row written so far.
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_file) == size_t(bytes.size())
           && std::fflush(m_file) == 0;
}

bool FileWatchOutput::open(const QString &path, WatchTextFile::Existing existing, QString *error)
{
    if (!m_file.open(path, existing, error))
        return false;
    if (!startFile()) {
        *error = m_error;
        return false;
    }
    return true;
}

bool FileWatchOutput::startFile()
{
    if (header().isEmpty() || !m_file.isEmpty() || m_file.writeLine(header()))
        return true;
    m_error = QStringLiteral("cannot write the header: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

bool FileWatchOutput::reopen()
{
    return m_file.reopen(&m_error) && startFile();
}

QString CsvWatchOutput::header() const
{
    return StatusRecord::csvLine(StatusRecord::csvHeader());
}

bool CsvWatchOutput::sample(const QDateTime &time, const DevStatusCache &cache)
{
    return m_file.writeLine(StatusRecord::csvLine(StatusRecord::csvValues(time, cache)));
}

bool CsvWatchOutput::lost(const QDateTime &time)
{
    return m_file.writeLine(StatusRecord::csvLine(StatusRecord::lostCsvValues(time)));
}

bool JsonlWatchOutput::sample(const QDateTime &time, const DevStatusCache &cache)
{
    return m_file.writeLine(
        QString::fromUtf8(QJsonDocument(StatusRecord::sampleJson(time, cache)).toJson(QJsonDocument::Compact)));
}

bool JsonlWatchOutput::lost(const QDateTime &time)
{
    return m_file.writeLine(
        QString::fromUtf8(QJsonDocument(StatusRecord::lostSampleJson(time)).toJson(QJsonDocument::Compact)));
}

bool TerminalWatchOutput::sample(const QDateTime &time, const DevStatusCache &cache)
{
    const QByteArray line = (StatusText::compactLine(time, cache) + QLatin1Char('\n')).toLocal8Bit();
    return std::fputs(line.constData(), stdout) >= 0 && std::fflush(stdout) == 0;
}

bool TerminalWatchOutput::lost(const QDateTime &time)
{
    const QByteArray line = (StatusText::lostLine(time) + QLatin1Char('\n')).toLocal8Bit();
    return std::fputs(line.constData(), stdout) >= 0 && std::fflush(stdout) == 0;
}
