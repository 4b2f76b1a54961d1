#ifndef KORVEX_REPORTDOCUMENT_H
#define KORVEX_REPORTDOCUMENT_H

#include <QPageSize>
#include <QPair>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class QPainter;
class QPdfWriter;

// A printed document that flows from top to bottom over as many pages as it
// needs: headings, paragraphs, tables (a table's header is repeated on each
// page it runs onto) and drawings of a given height. Written as PDF/A-1b, so
// that an archive keeps it readable: every font embedded, the text
// searchable. Lengths are in millimetres.
class ReportDocument
{
public:
    ReportDocument(const QString &path, QPageSize::PageSizeId size);
    ~ReportDocument();

    // Opens the file; false with *error set when it cannot be written.
    bool begin(const QString &title, const QString &footer, QString *error);
    void title(const QString &text, const QString &subtitle);
    // keepMm: room the block after it needs, so that they share a page.
    void heading(const QString &text, qreal keepMm = 20);
    void paragraph(const QString &text);
    // Columns share the width in proportion to widths; the header is bold.
    void table(const QStringList &header, const QVector<QStringList> &rows, const QVector<qreal> &widths);
    // Captions and their values, `across` pairs side by side.
    void fields(const QVector<QPair<QString, QString>> &rows, int across = 1);
    // Room of heightMm across the page, on a new page when this one has too
    // little left; the painter draws into the rectangle returned (device units).
    QRectF reserve(qreal heightMm);
    // Room left on this page, in millimetres.
    qreal remainingMm() const;
    QPainter *painter() const { return paint.get(); }
    qreal mm(qreal millimetres) const;
    // Finishes the last page and closes the file.
    bool end(QString *error);
    int pageCount() const { return pages; }

private:
    void newPage();
    void drawFooter();
    qreal textHeight(const QString &text, qreal width, bool bold, qreal points) const;
    void tableRow(const QStringList &cells, const QVector<qreal> &columns, bool header);

    QString path;
    QPageSize::PageSizeId size;
    std::unique_ptr<QPdfWriter> writer;
    std::unique_ptr<QPainter> paint;
    QString footerText;
    qreal y = 0;      // where the next block starts, device units from the top
    qreal width = 0;  // printable width, device units
    qreal bottom = 0; // lowest y a block may reach
    int pages = 0;
};

#endif
