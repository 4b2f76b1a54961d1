// The command-line programs run on a machine without a display: they link
// neither QtWidgets nor QtGui, and every program (korvex-demo too) answers
// --help and --version without one.

#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

namespace {

QString built(const QString &name)
{
    return qEnvironmentVariable("KORVEX_BUILD_DIR", ".") + QLatin1Char('/') + name;
}

// The libraries a program asks for by name (its DT_NEEDED entries).
QStringList neededLibraries(const QString &program)
{
    QProcess readelf;
    readelf.start("readelf", {"-d", program});
    if (!readelf.waitForFinished(30000) || readelf.exitCode() != 0)
        return {"<readelf failed>"};
    QStringList needed;
    const QRegularExpression entry("\\(NEEDED\\).*\\[(.+)\\]");
    for (const QString &line : QString::fromLocal8Bit(readelf.readAllStandardOutput()).split('\n')) {
        const auto m = entry.match(line);
        if (m.hasMatch())
            needed.append(m.captured(1));
    }
    return needed;
}

} // namespace

class TestProgramsHeadless : public QObject
{
    Q_OBJECT

private slots:
    void noWidgetsNoGui_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("korvexctl") << "korvexctl";
        QTest::newRow("korvex-ymodem") << "korvex-ymodem";
        QTest::newRow("korvex-sim") << "korvex-sim";
    }

    void noWidgetsNoGui()
    {
        QFETCH(QString, program);
        const QStringList needed = neededLibraries(built(program));
        QVERIFY2(needed.contains("libQt5Core.so.5"), qPrintable(needed.join(' ')));
        for (const QString &lib : needed)
            QVERIFY2(!lib.startsWith("libQt5Widgets") && !lib.startsWith("libQt5Gui"), qPrintable(lib));
        // ldd follows the whole chain of dependencies.
        QProcess ldd;
        ldd.start("ldd", {built(program)});
        QVERIFY(ldd.waitForFinished(30000));
        const QString all = QString::fromLocal8Bit(ldd.readAllStandardOutput());
        QVERIFY2(!all.contains("libQt5Widgets") && !all.contains("libQt5Gui"), qPrintable(all));
    }

    void theWindowProgramsDoUseWidgets()
    {
        // The check above can fail: the window programs show what it looks for.
        QVERIFY(neededLibraries(built("korvex-demo")).contains("libQt5Widgets.so.5"));
    }

    void helpAndVersionWithoutADisplay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("korvexctl") << "korvexctl";
        QTest::newRow("korvex-ymodem") << "korvex-ymodem";
        QTest::newRow("korvex-sim") << "korvex-sim";
        QTest::newRow("korvex-demo") << "korvex-demo";
        QTest::newRow("korvex-certificate") << "korvex-certificate";
    }

    void helpAndVersionWithoutADisplay()
    {
        QFETCH(QString, program);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        for (const char *option : {"--version", "--help"}) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(built(program), {option});
            QVERIFY(p.waitForFinished(20000));
            const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
            QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0,
                     qPrintable(program + " " + option + ": " + p.readAllStandardError()));
            if (QByteArray(option) == "--version")
                QCOMPARE(out.trimmed(), program + " " + KORVEX_VERSION);
            else
                QVERIFY2(out.contains("Usage"), qPrintable(out));
        }
    }

    // A command line a program cannot use ends it with the same code in
    // every program (2) and a line that names the word, before a display
    // or a port is needed.
    void unknownOptionIsBadArguments_data()
    {
        helpAndVersionWithoutADisplay_data();
    }

    void unknownOptionIsBadArguments()
    {
        QFETCH(QString, program);
        QProcess p;
        p.start(built(program), {"--no-such-option"});
        QVERIFY(p.waitForFinished(20000));
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == 2, qPrintable(QString::number(p.exitCode()) + ": " + err));
        QVERIFY2(err.contains("no-such-option"), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TestProgramsHeadless)
#include "tst_programs_headless.moc"
