#include "QtChinese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace QtChinese {

bool install(QCoreApplication *app)
{
    // The window speaks Chinese whatever the desktop's locale: so do the
    // toolkit's dialogs. The translator lives as long as the application.
    auto *translator = new QTranslator(app);
    const bool loaded = translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                                         QStringLiteral("_"),
                                         QLibraryInfo::location(QLibraryInfo::TranslationsPath));
    if (!loaded) {
        delete translator;
        return false;
    }
    return app->installTranslator(translator);
}

} // namespace QtChinese
