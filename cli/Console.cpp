#include "Console.h"

#include "OneLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

int g_outError = 0; // errno of the first failed write to stdout
bool g_anythingOut = false;
QString g_lastError;

void write(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    g_anythingOut = true;
    errno = 0;
    // fwrite, not fputs: a NUL inside a text must not cut off its line end.
    if ((std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size())
         || std::fflush(stdout) != 0)
        && g_outError == 0)
        g_outError = errno ? errno : EIO;
}

} // namespace

namespace Console {

void out(const QString &line)
{
    write(line + QLatin1Char('\n'));
}

namespace {

void toStderr(const QString &line)
{
    // One write call a line: lines from the line's worker thread and the
    // main thread never interleave.
    const QByteArray bytes = (QStringLiteral("korvexctl: ") + line + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void error(const QString &text)
{
    const QString line = oneLine(text);
    g_lastError = line;
    toStderr(line);
}

void trace(const QString &text)
{
    toStderr(oneLine(text));
}

void outText(const QString &text)
{
    write(text);
}

bool anythingOut()
{
    return g_anythingOut;
}

QString lastError()
{
    return g_lastError;
}

bool outputWritten(QString *why)
{
    errno = 0;
    if (std::fflush(stdout) != 0 && g_outError == 0)
        g_outError = errno ? errno : EIO;
    if (g_outError == 0 && std::ferror(stdout))
        g_outError = EIO;
    if (g_outError == 0)
        return true;
    *why = QString::fromLocal8Bit(std::strerror(g_outError));
    return false;
}

} // namespace Console
