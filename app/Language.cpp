#include "Language.h"
#include "QtChinese.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QTranslator>

namespace Language {

const char ChineseCode[] = "zh";
const char EnglishCode[] = "en";

namespace {

const char LanguageKey[] = "window/language";

// The window's one settings file (organisation "Korvex", application "korvex"),
// read anew on each use so that every window of the process sees a change.
#define KORVEX_SETTINGS(name) QSettings name(QStringLiteral("Korvex"), QStringLiteral("korvex"))

QString &installed()
{
    static QString code = QLatin1String(ChineseCode);
    return code;
}

bool load(QCoreApplication *app, const QString &name, const QStringList &dirs)
{
    auto *translator = new QTranslator(app);
    for (const QString &dir : dirs) {
        if (translator->load(name, dir))
            return app->installTranslator(translator);
    }
    delete translator;
    return false;
}

} // namespace

bool isKnown(const QString &code)
{
    return code == QLatin1String(ChineseCode) || code == QLatin1String(EnglishCode);
}

QString forLocale(const QLocale &locale)
{
    return QLatin1String(locale.language() == QLocale::English ? EnglishCode : ChineseCode);
}

QString remembered()
{
    KORVEX_SETTINGS(store);
    const QString code = store.value(QLatin1String(LanguageKey)).toString();
    return isKnown(code) ? code : QString();
}

void remember(const QString &code)
{
    if (!isKnown(code))
        return;
    KORVEX_SETTINGS(store);
    store.setValue(QLatin1String(LanguageKey), code);
}

QString fromArguments(const QStringList &arguments, bool *ok)
{
    *ok = true;
    const QString name = QStringLiteral("--lang");
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        QString value;
        if (arg == name)
            value = i + 1 < arguments.size() ? arguments.at(i + 1) : QString();
        else if (arg.startsWith(name + QLatin1Char('=')))
            value = arg.mid(name.size() + 1);
        else
            continue;
        *ok = isKnown(value);
        return *ok ? value : QString();
    }
    return QString();
}

QString choose(const QString &option)
{
    if (isKnown(option))
        return option;
    const QString saved = remembered();
    return saved.isEmpty() ? forLocale(QLocale::system()) : saved;
}

QStringList translationDirs()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    return {appDir + QStringLiteral("/translations"),
            QDir(appDir).absoluteFilePath(QStringLiteral("../share/korvex/translations")),
#ifdef KORVEX_BUILD_TRANSLATIONS
            QStringLiteral(KORVEX_BUILD_TRANSLATIONS)
#endif
    };
}

QString current()
{
    return installed();
}

bool install(QCoreApplication *app, const QString &code)
{
    installed() = code;
    if (code == QLatin1String(EnglishCode)) {
        // Qt's own texts are English already; only the window's need a file.
        return load(app, QStringLiteral("korvex_en"), translationDirs());
    }
    // The window's texts are Chinese already; Qt's own standard dialogs are not.
    return QtChinese::install(app);
}

void addMenu(QMenuBar *bar, const QString &current)
{
    QMenu *menu = bar->addMenu(QStringLiteral("语言 / Language"));
    menu->setObjectName(QStringLiteral("menuLanguage"));
    auto *group = new QActionGroup(menu);
    const struct {
        const char *code;
        const char *objectName;
        QString text;
    } entries[] = {{ChineseCode, "actionLanguageZh", QStringLiteral("中文")},
                   {EnglishCode, "actionLanguageEn", QStringLiteral("English")}};
    for (const auto &entry : entries) {
        QAction *action = menu->addAction(entry.text);
        action->setObjectName(QLatin1String(entry.objectName));
        action->setCheckable(true);
        action->setChecked(current == QLatin1String(entry.code));
        group->addAction(action);
        const QString code = QLatin1String(entry.code);
        QObject::connect(action, &QAction::triggered, bar, [bar, code]() {
            remember(code);
            QMessageBox::information(bar->window(), QCoreApplication::translate("Language", "语言 / Language"),
                                     QCoreApplication::translate("Language", "重新启动后使用所选语言。"));
        });
    }
}

} // namespace Language
