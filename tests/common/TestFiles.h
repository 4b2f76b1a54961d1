#ifndef KORVEX_TESTS_TESTFILES_H
#define KORVEX_TESTS_TESTFILES_H

// Files and payloads for transfer tests.

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QString>

// Reproducible bytes covering every value, so control bytes of the protocol
// appear inside the data too.
inline QByteArray pattern(int size, quint32 seed = 11)
{
    QByteArray d(size, '\0');
    QRandomGenerator g(seed);
    for (int i = 0; i < size; ++i)
        d[i] = char(g.bounded(256));
    return d;
}

inline bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A missing file reads as "<missing>", which no expected content equals.
inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

#endif
