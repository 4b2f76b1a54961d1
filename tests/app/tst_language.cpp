// The windows in English: every window text has a finished English
// translation, the language follows --lang, the remembered menu choice and
// the locale, and no text of any window is cut at its default size in
// English.
//
// With KORVEX_SHOT_DIR set, each English window is also saved there as a PNG.

#include "AdminWd.h"
#include "CommSet.h"
#include "CommandCatalogue.h"
#include "WriteResult.h"
#include "DialogPasswordWd.h"
#include "Language.h"
#include "PidAdjust.h"
#include "TecDebug.h"
#include "TrendWd.h"
#include "UpdateWidget.h"
#include "fan_debug.h"
#include "serialNumInput.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QTextDocument>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

QString sourceDir()
{
    return QString::fromLocal8Bit(qgetenv("KORVEX_SOURCE_DIR"));
}

QString buildDir()
{
    return QString::fromLocal8Bit(qgetenv("KORVEX_BUILD_DIR"));
}

// Source texts of a .ts file whose translation is missing or unfinished.
QStringList unfinished(const QString &tsPath)
{
    QFile file(tsPath);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<cannot read %1>").arg(tsPath)};
    QXmlStreamReader xml(&file);
    QStringList missing;
    QString context;
    QString source;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            source = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        else if (xml.name() == QLatin1String("translation")) {
            const bool notDone = xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            if (notDone || text.isEmpty())
                missing << context + QStringLiteral(": ") + source.trimmed();
        }
    }
    return missing;
}

QString textOf(QWidget *w)
{
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return button->text();
    return QString();
}

// Pixels a widget has for its text.
int textRoom(QWidget *w)
{
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->contentsRect().width() - 2 * label->margin() - (label->indent() > 0 ? label->indent() : 0);
    QStyleOptionButton opt;
    opt.initFrom(w);
    opt.text = textOf(w);
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<QCheckBox *>(w))
        contents = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<QRadioButton *>(w))
        contents = QStyle::SE_RadioButtonContents;
    else if (!qobject_cast<QPushButton *>(w))
        return w->width();
    return w->style()->subElementRect(contents, &opt, w).width();
}

// Widgets whose text needs more room than they have.
QStringList clippedTexts(QWidget *window)
{
    QStringList clipped;
    const auto widgets = window->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        QString text = textOf(w);
        text.remove(QLatin1Char('&'));
        if (text.isEmpty() || !w->isVisibleTo(window) || Qt::mightBeRichText(text))
            continue;
        auto *label = qobject_cast<QLabel *>(w);
        if (label && label->wordWrap())
            continue;
        const int needed = w->fontMetrics().horizontalAdvance(text);
        const int room = textRoom(w);
        if (needed > room)
            clipped << QStringLiteral("%1 \"%2\" (%3 px, needs %4)").arg(w->objectName(), text).arg(room).arg(needed);
    }
    return clipped;
}

void saveShot(QWidget *w, const QString &name)
{
    const QByteArray dir = qgetenv("KORVEX_SHOT_DIR");
    if (!dir.isEmpty())
        w->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name + QLatin1String("_en.png"));
}

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void everyTextTranslated();
    void chosenLanguage_data();
    void chosenLanguage();
    void badLangOption_data();
    void badLangOption();
    void menuChoiceRemembered();
    void englishWindowsNotClipped_data();
    void englishWindowsNotClipped();
    void englishLogTexts();
    void cleanupTestCase();

private:
    AdminWd *window = nullptr;
};

void TestLanguage::initTestCase()
{
    // Its settings are its own through XDG_CONFIG_HOME, one folder per test
    // and build tree (Qt's test mode would share ~/.qttest with any other
    // tree's run of this test at the same time).
    QSettings(QStringLiteral("Korvex"), QStringLiteral("korvex")).clear();
}

void TestLanguage::everyTextTranslated()
{
    // lupdate brings every window text of today's code into a copy of the
    // translation file; a text nobody translated stays unfinished there.
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("korvex_en.ts"));
    QVERIFY(QFile::copy(sourceDir() + QStringLiteral("/translations/korvex_en.ts"), copy));
    QProcess lupdate;
    lupdate.setWorkingDirectory(sourceDir());
    lupdate.start(QStringLiteral(KORVEX_LUPDATE),
                  QStringList{QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral("-no-obsolete")}
                      + QString::fromLatin1(KORVEX_TRANSLATED_DIRS).split(QLatin1Char(' '))
                      + QStringList{QStringLiteral("-ts"), copy});
    QVERIFY(lupdate.waitForFinished(60000));
    QCOMPARE(lupdate.exitCode(), 0);
    const QStringList missing = unfinished(copy);
    QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("no English for:\n") + missing.join(QLatin1Char('\n'))));
}

void TestLanguage::chosenLanguage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QString>("expected");
    const QString en = QStringLiteral("en");
    const QString zh = QStringLiteral("zh");
    const QString korvex = QStringLiteral("korvex");
    QTest::newRow("option en") << QStringList{korvex, QStringLiteral("--lang"), en} << zh << en;
    QTest::newRow("option=zh") << QStringList{korvex, QStringLiteral("--lang=zh")} << en << zh;
    QTest::newRow("remembered en") << QStringList{korvex} << en << en;
    QTest::newRow("remembered zh") << QStringList{korvex} << zh << zh;
}

void TestLanguage::chosenLanguage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, remembered);
    QFETCH(QString, expected);
    Language::remember(remembered);
    bool ok = false;
    QCOMPARE(Language::choose(Language::fromArguments(arguments, &ok)), expected);
    QVERIFY(ok);
    QSettings(QStringLiteral("Korvex"), QStringLiteral("korvex")).clear();
    // Without a choice the locale decides: English for English, Chinese otherwise.
    QCOMPARE(Language::forLocale(QLocale(QStringLiteral("en_GB"))), QStringLiteral("en"));
    QCOMPARE(Language::forLocale(QLocale(QStringLiteral("zh_CN"))), QStringLiteral("zh"));
    QCOMPARE(Language::forLocale(QLocale(QStringLiteral("de_DE"))), QStringLiteral("zh"));
}

void TestLanguage::badLangOption_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("korvex fr") << "korvex" << QStringList{QStringLiteral("--lang"), QStringLiteral("fr")};
    QTest::newRow("korvex no value") << "korvex" << QStringList{QStringLiteral("--lang")};
    QTest::newRow("korvex=EN") << "korvex" << QStringList{QStringLiteral("--lang=EN")};
    QTest::newRow("demo fr") << "korvex-demo" << QStringList{QStringLiteral("--lang"), QStringLiteral("fr")};
}

void TestLanguage::badLangOption()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QProcess process;
    process.start(buildDir() + QLatin1Char('/') + program, arguments);
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardError().contains("--lang takes en or zh"));
}

void TestLanguage::menuChoiceRemembered()
{
    AdminWd w;
    auto *english = w.findChild<QAction *>(QStringLiteral("actionLanguageEn"));
    QVERIFY(english);
    QVERIFY(!english->isChecked());
    QTimer::singleShot(0, [] {
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
    });
    english->trigger();
    QCOMPARE(Language::remembered(), QStringLiteral("en"));
    QCOMPARE(Language::choose(QString()), QStringLiteral("en"));
    QSettings(QStringLiteral("Korvex"), QStringLiteral("korvex")).clear();
}

void TestLanguage::englishWindowsNotClipped_data()
{
    QTest::addColumn<QString>("windowClass");
    for (const char *name : {"AdminWd", "CommSet", "PidAdjust", "TecDebug", "fan_debug", "serialNumInput",
                             "UpdateWidget", "DialogPasswordWd", "TrendWd", "ProductionTestWd"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestLanguage::englishWindowsNotClipped()
{
    QFETCH(QString, windowClass);
    if (!window) {
        QVERIFY(Language::install(qApp, QStringLiteral("en")));
        window = new AdminWd;
        window->changeUserMode(QStringLiteral("velmandro583"));
        window->show();
    }
    QWidget *shown = window;
    if (windowClass != QLatin1String("AdminWd")) {
        shown = nullptr;
        const auto children = window->findChildren<QWidget *>();
        for (QWidget *child : children)
            if (child->isWindow() && QLatin1String(child->metaObject()->className()) == windowClass)
                shown = child;
        QVERIFY(shown);
        shown->show();
    }
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    // The texts are English indeed.
    QVERIFY2(!shown->windowTitle().contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]"))),
             qPrintable(shown->windowTitle()));
    saveShot(shown, windowClass);
    const QStringList clipped = clippedTexts(shown);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
    if (shown != window)
        shown->hide();
}

void TestLanguage::englishLogTexts()
{
    // Texts the window composes at run time from the command catalogue.
    const auto word = quint16(CommandWord::Power);
    QByteArray frame;
    frame.append('\x01').append(char(word >> 8)).append(char(word & 0xFF));
    frame += CommandCatalogue::encode(CommandWord::Power, {500});
    QCOMPARE(WriteResult::logMessage(0, frame), QStringLiteral("Set laser power succeeded\n"));
}

void TestLanguage::cleanupTestCase()
{
    delete window;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
