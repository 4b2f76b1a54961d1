// The printed document read back with poppler: page sizes, a table that runs
// over pages with its header on each, charts as vector drawing (no picture
// in the file), and a file that cannot be written; the documents in English.

#include "CertificateWriter.h"
#include "ReportDocument.h"
#include "ServiceReportWriter.h"
#include "TrendChart.h"
#include "TrendStore.h"

#include <QPainter>
#include <QProcess>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

namespace {

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return QStringLiteral("<%1 failed>").arg(program);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestReportDocument : public QObject
{
    Q_OBJECT
private slots:
    void pagesTablesAndCharts_data();
    void pagesTablesAndCharts();
    void unwritableFile();
    void documentsInEnglish_data();
    void documentsInEnglish();
};

void TestReportDocument::pagesTablesAndCharts_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("pageSize");
    QTest::newRow("A4") << int(QPageSize::A4) << "595 x 842 pts (A4)";
    QTest::newRow("Letter") << int(QPageSize::Letter) << "612 x 792 pts (letter)";
}

void TestReportDocument::pagesTablesAndCharts()
{
    QFETCH(int, size);
    QFETCH(QString, pageSize);
    QTemporaryDir dir;
    const QString path = dir.filePath("doc.pdf");
    TrendStore store(1000);
    for (int i = 0; i < 600; ++i) {
        TrendSample s;
        s.msecs = 1700000000000LL + i * 500;
        s.valid = i % 100 != 50; // a gap now and then
        s.alarms = i > 300 ? 0x02 : 0;
        for (float &v : s.values)
            v = float(20 + i % 7);
        store.append(s);
    }
    ReportDocument doc(path, QPageSize::PageSizeId(size));
    QString error;
    QVERIFY(doc.begin("Test document", "footer text", &error));
    doc.title("Title line", "sub");
    const QRectF room = doc.reserve(120);
    TrendChart::paint(*doc.painter(), room, doc.mm(1), store, store.at(0).msecs, store.newest().msecs);
    QVector<QStringList> rows;
    for (int i = 0; i < 150; ++i)
        rows << QStringList{QStringLiteral("row-%1").arg(i), QStringLiteral("value %1").arg(i * 3)};
    doc.table({"NameHeader", "ValueHeader"}, rows, {1, 1});
    QVERIFY(doc.end(&error));
    QVERIFY(doc.pageCount() >= 3);

    const QString info = run("pdfinfo", {path});
    QVERIFY2(info.contains("Page size:       " + pageSize), qPrintable(info));
    QVERIFY(info.contains(QStringLiteral("Pages:           %1").arg(doc.pageCount())));
    QVERIFY2(run("pdfinfo", {"-meta", path}).contains("pdfaid:part=\"1\""), "claims PDF/A-1");
    // Vector drawing: the file holds no picture at all.
    const QStringList images = run("pdfimages", {"-list", path}).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(images.size(), 2); // the list's two header lines
    const QString all = run("pdftotext", {path, "-"});
    for (int i = 0; i < 150; ++i)
        QVERIFY2(all.contains(QStringLiteral("row-%1\n").arg(i)) || all.contains(QStringLiteral("row-%1 ").arg(i)),
                 qPrintable(QStringLiteral("row-%1").arg(i)));
    // Every page the table runs onto starts it with its header.
    for (int page = 2; page <= doc.pageCount(); ++page) {
        const QString text = run("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), path, "-"});
        QVERIFY2(text.contains("NameHeader"), qPrintable(QStringLiteral("page %1").arg(page)));
        QVERIFY(text.contains("footer text"));
    }
}

void TestReportDocument::unwritableFile()
{
    ReportDocument doc(QStringLiteral("/proc/no-such-dir/doc.pdf"), QPageSize::A4);
    QString error;
    QVERIFY(!doc.begin("t", "f", &error));
    QVERIFY(!error.isEmpty());
}

void TestReportDocument::documentsInEnglish_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("heading");
    QTest::newRow("service report") << "service" << "Service report";
    QTest::newRow("certificate") << "certificate" << "Test certificate";
}

void TestReportDocument::documentsInEnglish()
{
    QFETCH(QString, document);
    QFETCH(QString, heading);
    QTranslator english;
    QVERIFY(english.load("korvex_en", qEnvironmentVariable("KORVEX_BUILD_DIR") + "/translations"));
    QCoreApplication::installTranslator(&english);
    QTemporaryDir dir;
    const QString path = dir.filePath("doc.pdf");
    QString error;
    TrendStore none(10);
    if (document == "service") {
        ServiceReportContent content;
        content.unit = {{"serial", "25001-202407090001"}};
        QVERIFY2(ServiceReportWriter::write(path, content, &error), qPrintable(error));
    } else {
        const QJsonObject record{{"korvex_test_record", 1},
                                 {"unit", QJsonObject{{"serial_number", "25001-202407090001"}}},
                                 {"outcome", "marginal"}};
        QVERIFY2(CertificateWriter::write(path, record, none, QPageSize::A4, &error), qPrintable(error));
    }
    QCoreApplication::removeTranslator(&english);
    const QString text = run("pdftotext", {path, "-"});
    QVERIFY2(text.contains(heading), qPrintable(text));
    // Every heading and caption is translated: no Chinese is left.
    QVERIFY2(!text.contains(QRegularExpression("[\\x{4e00}-\\x{9fff}]")), qPrintable(text));
}

QTEST_MAIN(TestReportDocument)
#include "tst_reportdocument.moc"
