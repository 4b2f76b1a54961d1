// The service report against korvex-sim, exported through "导出服务报告…"
// and read back with poppler: the unit, values and events are text in the
// file, the page has the chosen size, the file claims PDF/A-1b and embeds
// every font it uses.

#include "SimProcess.h"
#include "WindowHarness.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>

using namespace Harness;

namespace {

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>").arg(program, QString::fromLocal8Bit(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Fills the export dialog when it comes up and presses its export button.
void answerReportDialog(const QString &paper, const QString &path)
{
    QTimer::singleShot(0, [paper, path] {
        QTRY_VERIFY(qobject_cast<QDialog *>(QApplication::activeModalWidget()));
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        dialog->findChild<QLineEdit *>("lineEditTechnician")->setText(QString::fromUtf8("张工"));
        dialog->findChild<QPlainTextEdit *>("textEditNotes")->setPlainText("Fan 2 bearing noisy; replaced filter.");
        dialog->findChild<QComboBox *>("comboBoxPaper")->setCurrentText(paper);
        auto *file = dialog->findChild<QLineEdit *>("lineEditReportFile");
        QVERIFY(file->text().endsWith(".pdf"));
        QVERIFY2(file->text().contains("25001-"), "the suggested name carries the serial number");
        file->setText(path);
        dialog->accept();
    });
}

} // namespace

class TestServiceReportSim : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { destroyWindow(w); }
    void reportReadsBack_data();
    void reportReadsBack();
    void unwritableFileIsRefused();

private:
    AdminWd *w = nullptr;
};

void TestServiceReportSim::reportReadsBack_data()
{
    QTest::addColumn<QString>("paper");
    QTest::addColumn<QString>("pageSize");
    QTest::newRow("A4") << "A4" << "595 x 842 pts (A4)";
    QTest::newRow("Letter") << "Letter" << "612 x 792 pts (letter)";
}

void TestServiceReportSim::reportReadsBack()
{
    QFETCH(QString, paper);
    QFETCH(QString, pageSize);
    SimProcess sim({"--fan-stuck", "2"});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    w = new AdminWd;
    w->show();
    openPort(w, sim.ptyPath());
    QTRY_VERIFY_WITH_TIMEOUT(!lineText(w, "SoftVersion").isEmpty(), 5000);
    click(w, "btnTurnOnLd");
    QTRY_VERIFY_WITH_TIMEOUT(logText(w).contains(QString::fromUtf8("开启光源成功")), 5000);
    // The stuck fan's alarm, and a few samples for the chart.
    QTRY_COMPARE_WITH_TIMEOUT(lamp(w, "labelFanAlarm_2"), Lamp::Red, 15000);
    QTest::qWait(1000);

    QTemporaryDir dir;
    const QString path = dir.filePath("report.pdf");
    answerReportDialog(paper, path);
    w->findChild<QAction *>("actionServiceReport")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(logText(w).contains(path), 5000);

    const QString info = run("pdfinfo", {path});
    QVERIFY2(info.contains("Page size:       " + pageSize), qPrintable(info));
    const QString meta = run("pdfinfo", {"-meta", path});
    QVERIFY2(meta.contains("pdfaid:part=\"1\"") && meta.contains("pdfaid:conformance=\"B\""), qPrintable(meta));
    const QStringList fonts = run("pdffonts", {path}).split('\n', Qt::SkipEmptyParts).mid(2);
    QVERIFY(!fonts.isEmpty());
    for (const QString &font : fonts)
        QVERIFY2(font.simplified().contains(" yes "), qPrintable("a font not embedded: " + font));

    const QString text = run("pdftotext", {path, "-"});
    const QStringList expected = {lineText(w, "devSerialNum"), "V1.5", "Ld-25W", "3000", "50.0℃",
                                  QString::fromUtf8("张工"), "Fan 2 bearing noisy; replaced filter.",
                                  QString::fromUtf8("开启光源"), QString::fromUtf8("风扇2报警"),
                                  QString::fromUtf8("打开串口"), "PID KP", "1.5000", "Korvex"};
    for (const QString &piece : expected)
        QVERIFY2(text.contains(piece), qPrintable(piece + " missing from:\n" + text));
}

void TestServiceReportSim::unwritableFileIsRefused()
{
    w = new AdminWd;
    QString error;
    const QString path = QDir::temp().filePath("no-such-folder-korvex/report.pdf");
    QVERIFY(!w->exportServiceReport(path, ServiceReport::Typed(), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(TestServiceReportSim)
#include "tst_servicereport_sim.moc"
