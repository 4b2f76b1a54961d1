#ifndef KORVEX_QTCHINESE_H
#define KORVEX_QTCHINESE_H

class QCoreApplication;

// The toolkit's own texts (the Yes/No of a question, the file dialog) in
// Chinese like the rest of the window, from Qt's installed translations.
namespace QtChinese {

// Installs the translation on app; false when Qt's Chinese translation is
// not installed, and the toolkit's texts stay English.
bool install(QCoreApplication *app);

} // namespace QtChinese

#endif
