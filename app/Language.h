#ifndef KORVEX_LANGUAGE_H
#define KORVEX_LANGUAGE_H

#include <QString>
#include <QStringList>

class QCoreApplication;
class QLocale;
class QMenuBar;

// The language of the windows: Chinese (the source texts) or English (the
// translation file korvex_en.qm), with Qt's own texts in the same language.
// Chosen by --lang, else by the operator's menu choice remembered in the
// window's settings, else by the system locale.
namespace Language {

// The two codes: "zh" (Chinese) and "en" (English).
extern const char ChineseCode[];
extern const char EnglishCode[];

// True for "zh" and "en".
bool isKnown(const QString &code);

// English for an English locale, Chinese for every other.
QString forLocale(const QLocale &locale);

// The operator's remembered choice, or an empty string when none.
QString remembered();
void remember(const QString &code);

// The value of "--lang CODE" or "--lang=CODE" in a program's arguments: an
// empty string when absent; *ok false when the value is missing or unknown.
QString fromArguments(const QStringList &arguments, bool *ok);

// option (from --lang) when given, else the remembered choice, else the
// system locale's language.
QString choose(const QString &option);

// Where korvex_en.qm is looked for, first found wins.
QStringList translationDirs();

// Installs the translators of code on app (the window's texts and Qt's own);
// false when a translation the language needs was not found.
bool install(QCoreApplication *app, const QString &code);

// The language last installed; Chinese when none was.
QString current();

// The menu "语言 / Language" on bar: choosing an entry remembers it for the
// next start and tells the operator so.
void addMenu(QMenuBar *bar, const QString &current);

} // namespace Language

#endif
