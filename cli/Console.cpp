#include "Console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

int g_outError = 0; // errno of the first failed write to stdout

void write(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    errno = 0;
    if ((std::fputs(bytes.constData(), stdout) < 0 || std::fflush(stdout) != 0) && g_outError == 0)
        g_outError = errno ? errno : EIO;
}

} // namespace

namespace Console {

void out(const QString &line)
{
    write(line + QLatin1Char('\n'));
}

void error(const QString &line)
{
    std::fputs((QStringLiteral("korvexctl: ") + line + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void outText(const QString &text)
{
    write(text);
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
