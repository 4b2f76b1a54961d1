#include "MetricsTextFile.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool MetricsTextFile::write(const QByteArray &text)
{
    const QString tmpPath = filePath + QStringLiteral(".tmp");
    QFile tmp(tmpPath);
    if (!tmp.open(QIODevice::WriteOnly | QIODevice::Truncate) || tmp.write(text) != text.size() || !tmp.flush()) {
        lastError = QStringLiteral("cannot write %1: %2").arg(tmpPath, tmp.errorString());
        tmp.close();
        QFile::remove(tmpPath);
        return false;
    }
    tmp.close();
    // rename() replaces the old file in one step; QFile::rename would refuse.
    if (std::rename(QFile::encodeName(tmpPath).constData(), QFile::encodeName(filePath).constData()) != 0) {
        lastError = QStringLiteral("cannot replace %1: %2").arg(filePath, QString::fromLocal8Bit(std::strerror(errno)));
        QFile::remove(tmpPath);
        return false;
    }
    return true;
}
