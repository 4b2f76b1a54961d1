#ifndef KORVEX_LINKTEXT_H
#define KORVEX_LINKTEXT_H

#include <QCoreApplication>
#include <QString>

// The device link's own window texts (command log names, result texts, the
// data display's formats) translate in a context of their own, whichever
// window shows them. Texts marked for translation in the link name the same
// context: QT_TRANSLATE_NOOP("DeviceLink", ...) or
// QCoreApplication::translate("DeviceLink", ...), which the translation
// tools find; tr() below is for the texts such marks leave in tables.
namespace LinkText {

constexpr const char *Context = "DeviceLink";

inline QString tr(const char *text)
{
    return QCoreApplication::translate(Context, text);
}

} // namespace LinkText

#endif
