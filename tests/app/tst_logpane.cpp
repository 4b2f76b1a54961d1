// The window's log keeps each line's time and port: shown as the line's tool
// tip, saved one line per entry with an ISO 8601 time; the pane and the PID
// window's sample text keep the newest lines only, the saved log all of them.

#include "AdminWd.h"
#include "LogPane.h"
#include "PidAdjust.h"
#include "PidMath.h"

#include <QAction>
#include <QFile>
#include <QHelpEvent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolTip>
#include <QtTest>

class TestLogPane : public QObject
{
    Q_OBJECT
private slots:
    void savedLines_data();
    void savedLines();
    void newestLinesShown();
    void unwritableFile();
    void timeAsToolTip();
    void windowMenusSaveAndClear();
    void pidSamplesLimited();
};

namespace {
QStringList fileLines(const LogPane &log)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("korvex.log"));
    QString error;
    if (!log.saveTo(path, &error))
        return {QStringLiteral("<not saved: %1>").arg(error)};
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace

void TestLogPane::savedLines_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("open port") << "/dev/ttyUSB0" << "/dev/ttyUSB0打开成功\r\n" << "/dev/ttyUSB0\t/dev/ttyUSB0打开成功";
    QTest::newRow("no port") << "" << "设备序列号为空，设置失败\n" << "-\t设备序列号为空，设置失败";
    QTest::newRow("two lines") << "COM3" << "first\nsecond" << "COM3\tfirst second";
}

void TestLogPane::savedLines()
{
    QFETCH(QString, port);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QTextEdit view;
    LogPane log(&view, nullptr);
    log.setPort(port);
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    log.append(text);
    const QStringList lines = fileLines(log);
    QCOMPARE(lines.size(), 1);
    const auto m = QRegularExpression(QStringLiteral(
                       "^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d))\\t(.*)$"))
                       .match(lines.first());
    QVERIFY2(m.hasMatch(), qPrintable(lines.first()));
    QCOMPARE(m.captured(3), expected);
    const QDateTime stamp = QDateTime::fromString(m.captured(1), Qt::ISODateWithMs);
    QVERIFY(stamp >= before && stamp <= QDateTime::currentDateTime());
}

void TestLogPane::newestLinesShown()
{
    QTextEdit view;
    LogPane log(&view, nullptr);
    const int extra = 25;
    for (int i = 0; i < LogPane::ShownLines + extra; ++i)
        log.append(QStringLiteral("line %1").arg(i));
    QCOMPARE(view.document()->blockCount(), LogPane::ShownLines);
    QCOMPARE(view.document()->firstBlock().text(), QStringLiteral("line %1").arg(extra));
    QCOMPARE(log.entryAt(0), extra);
    const QStringList lines = fileLines(log);
    QCOMPARE(lines.size(), LogPane::ShownLines + extra);
    QVERIFY(lines.first().endsWith(QStringLiteral("\tline 0")));
}

void TestLogPane::unwritableFile()
{
    QTextEdit view;
    LogPane log(&view, nullptr);
    log.append(QStringLiteral("x"));
    QString error;
    QVERIFY(!log.saveTo(QStringLiteral("/nonexistent-dir/korvex.log"), &error));
    QVERIFY(!error.isEmpty());
}

void TestLogPane::timeAsToolTip()
{
    QTextEdit view;
    LogPane log(&view, nullptr);
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    log.append(QStringLiteral("first"));
    const QString time = log.entries().first().time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    const QRect line = view.cursorRect(QTextCursor(view.document()->firstBlock()));
    QHelpEvent help(QEvent::ToolTip, line.center(), view.viewport()->mapToGlobal(line.center()));
    QApplication::sendEvent(view.viewport(), &help);
    QTRY_COMPARE(QToolTip::text(), time);
}

void TestLogPane::windowMenusSaveAndClear()
{
    AdminWd w;
    auto *pane = w.findChild<QTextEdit *>(QStringLiteral("textEditDebugInfo"));
    auto *log = w.findChild<LogPane *>();
    QVERIFY(pane && log);
    log->append(QStringLiteral("something"));
    QVERIFY(!pane->toPlainText().isEmpty());
    w.findChild<QAction *>(QStringLiteral("actionClearLog"))->trigger();
    QVERIFY(pane->toPlainText().isEmpty());
    QVERIFY(log->entries().isEmpty());
    QVERIFY(w.findChild<QAction *>(QStringLiteral("actionSaveLog")));
}

void TestLogPane::pidSamplesLimited()
{
    PidAdjust pid;
    QVector<quint32> sample(PidMath::StatusElements, 250);
    for (int i = 0; i < LogPane::ShownLines + 10; ++i)
        pid.updateShowText(sample);
    QCOMPARE(pid.findChild<QTextEdit *>(QStringLiteral("textEditShowTemp"))->document()->blockCount(),
             LogPane::ShownLines);
}

QTEST_MAIN(TestLogPane)
#include "tst_logpane.moc"
