#include "WatchOutput.h"

#include "StatusRecord.h"
#include "StatusText.h"

#include <QFile>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>

WatchTextFile::~WatchTextFile()
{
    if (m_file && m_file != stdout)
        std::fclose(m_file);
}

bool WatchTextFile::open(const QString &path, QString *error)
{
    m_path = path == QLatin1String("-") ? QStringLiteral("stdout") : path;
    if (path == QLatin1String("-")) {
        m_file = stdout;
        return true;
    }
    m_file = std::fopen(QFile::encodeName(path).constData(), "w");
    if (!m_file) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

bool WatchTextFile::writeLine(const QString &line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    // Flushed per row: a recording cut short keeps every row written so far.
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_file) == size_t(bytes.size()) && std::fflush(m_file) == 0)
        return true;
    m_error = QStringLiteral("cannot write %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno ? errno : EIO)));
    return false;
}

bool CsvWatchOutput::open(const QString &path, QString *error)
{
    if (!m_file.open(path, error))
        return false;
    if (m_file.writeLine(StatusRecord::csvLine(StatusRecord::csvHeader())))
        return true;
    *error = m_file.errorText();
    return false;
}

bool CsvWatchOutput::sample(const QDateTime &time, const DevStatusCache &cache)
{
    return m_file.writeLine(StatusRecord::csvLine(StatusRecord::csvValues(time, cache)));
}

bool CsvWatchOutput::lost(const QDateTime &time)
{
    return m_file.writeLine(StatusRecord::csvLine(StatusRecord::lostCsvValues(time)));
}

bool JsonlWatchOutput::open(const QString &path, QString *error)
{
    return m_file.open(path, error);
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
