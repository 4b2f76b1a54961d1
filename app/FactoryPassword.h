#ifndef KORVEX_FACTORYPASSWORD_H
#define KORVEX_FACTORYPASSWORD_H

#include <QString>

// The password that unlocks factory mode: the window compares with it, the
// demo types it. Compared whole and case-sensitively.
namespace FactoryPassword {

inline QString text()
{
    return QStringLiteral("velmandro583");
}

inline bool matches(const QString &typed)
{
    return typed == text();
}

} // namespace FactoryPassword

#endif
