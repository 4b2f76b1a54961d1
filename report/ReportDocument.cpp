#include "ReportDocument.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>

namespace {

// 600 dpi: fine enough for hairlines and small chart labels.
constexpr int Resolution = 600;
constexpr qreal MarginMm = 16;
constexpr qreal FooterMm = 8;
constexpr qreal BodyPoints = 9;
constexpr qreal CellPadMm = 1.2;
// Space after a block.
constexpr qreal GapMm = 2.5;

QFont reportFont(qreal points, bool bold)
{
    // A family that holds the Chinese texts as well as Latin ones; the writer
    // embeds the glyphs used, whichever family fontconfig picks.
    QFont font(QStringLiteral("WenQuanYi Zen Hei"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace

ReportDocument::ReportDocument(const QString &path, QPageSize::PageSizeId size) : path(path), size(size) {}

ReportDocument::~ReportDocument()
{
    if (paint && paint->isActive())
        paint->end();
}

qreal ReportDocument::mm(qreal millimetres) const
{
    return millimetres * Resolution / 25.4;
}

bool ReportDocument::begin(const QString &titleText, const QString &footer, QString *error)
{
    // QPdfWriter says nothing when its file cannot be created: try it first.
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly)) {
        *error = probe.errorString();
        return false;
    }
    probe.close();
    writer = std::make_unique<QPdfWriter>(path);
    writer->setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
    writer->setResolution(Resolution);
    writer->setPageSize(QPageSize(size));
    writer->setPageMargins(QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm), QPageLayout::Millimeter);
    writer->setTitle(titleText);
    writer->setCreator(QStringLiteral("Korvex"));
    footerText = footer;
    paint = std::make_unique<QPainter>();
    if (!paint->begin(writer.get())) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    width = writer->width();
    bottom = writer->height() - mm(FooterMm);
    pages = 1;
    y = 0;
    return true;
}

void ReportDocument::newPage()
{
    drawFooter();
    writer->newPage();
    ++pages;
    y = 0;
}

void ReportDocument::drawFooter()
{
    paint->save();
    paint->setFont(reportFont(7.5, false));
    paint->setPen(QColor(0x60, 0x60, 0x60));
    const QRectF line(0, bottom + mm(2), width, mm(FooterMm - 2));
    paint->drawLine(QPointF(0, bottom + mm(1)), QPointF(width, bottom + mm(1)));
    paint->drawText(line, Qt::AlignLeft | Qt::AlignVCenter, footerText);
    paint->drawText(line, Qt::AlignRight | Qt::AlignVCenter, QString::number(pages));
    paint->restore();
}

qreal ReportDocument::textHeight(const QString &text, qreal w, bool bold, qreal points) const
{
    const QFontMetricsF metrics(reportFont(points, bold), writer.get());
    return metrics.boundingRect(QRectF(0, 0, w, 1e9), Qt::TextWordWrap, text).height();
}

qreal ReportDocument::remainingMm() const
{
    return (bottom - y) * 25.4 / Resolution;
}

QRectF ReportDocument::reserve(qreal heightMm)
{
    const qreal h = mm(heightMm);
    if (y + h > bottom && y > 0)
        newPage();
    const QRectF room(0, y, width, h);
    y += h + mm(GapMm);
    return room;
}

void ReportDocument::title(const QString &text, const QString &subtitle)
{
    paint->setFont(reportFont(16, true));
    paint->setPen(Qt::black);
    const qreal h = textHeight(text, width, true, 16);
    paint->drawText(QRectF(0, y, width, h), Qt::TextWordWrap, text);
    y += h + mm(1);
    if (!subtitle.isEmpty()) {
        paint->setFont(reportFont(BodyPoints, false));
        const qreal sh = textHeight(subtitle, width, false, BodyPoints);
        paint->drawText(QRectF(0, y, width, sh), Qt::TextWordWrap, subtitle);
        y += sh;
    }
    paint->setPen(QPen(QColor(0x3c, 0x5a, 0x82), mm(0.5)));
    paint->drawLine(QPointF(0, y + mm(1)), QPointF(width, y + mm(1)));
    y += mm(1) + mm(GapMm);
}

void ReportDocument::heading(const QString &text, qreal keepMm)
{
    const qreal h = textHeight(text, width, true, 11.5);
    // A heading never stands alone at the foot of a page.
    if (y + h + mm(keepMm) > bottom)
        newPage();
    paint->setFont(reportFont(11.5, true));
    paint->setPen(QColor(0x1e, 0x32, 0x50));
    paint->drawText(QRectF(0, y, width, h), Qt::TextWordWrap, text);
    y += h + mm(1.5);
}

void ReportDocument::paragraph(const QString &text)
{
    // Line by line, so that a long text runs on over the page break.
    paint->setPen(Qt::black);
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString shown = line.isEmpty() ? QStringLiteral(" ") : line;
        const qreal h = textHeight(shown, width, false, BodyPoints);
        if (y + h > bottom)
            newPage();
        paint->setFont(reportFont(BodyPoints, false));
        paint->drawText(QRectF(0, y, width, h), Qt::TextWordWrap, shown);
        y += h;
    }
    y += mm(GapMm);
}

void ReportDocument::tableRow(const QStringList &cells, const QVector<qreal> &columns, bool header)
{
    const qreal pad = mm(CellPadMm);
    qreal h = 0;
    for (int i = 0; i < columns.size(); ++i)
        h = qMax(h, textHeight(cells.value(i), columns[i] - 2 * pad, header, BodyPoints));
    h += 2 * pad;
    qreal x = 0;
    if (header)
        paint->fillRect(QRectF(0, y, width, h), QColor(0xe4, 0xe9, 0xf0));
    paint->setFont(reportFont(BodyPoints, header));
    paint->setPen(Qt::black);
    for (int i = 0; i < columns.size(); ++i) {
        paint->drawText(QRectF(x + pad, y + pad, columns[i] - 2 * pad, h - 2 * pad), Qt::TextWordWrap,
                        cells.value(i));
        x += columns[i];
    }
    paint->setPen(QPen(QColor(0xb0, 0xb8, 0xc4), mm(0.15)));
    paint->drawLine(QPointF(0, y + h), QPointF(width, y + h));
    y += h;
}

void ReportDocument::table(const QStringList &header, const QVector<QStringList> &rows, const QVector<qreal> &widths)
{
    qreal total = 0;
    for (qreal w : widths)
        total += w;
    QVector<qreal> columns;
    for (qreal w : widths)
        columns << width * w / total;
    const qreal rowRoom = mm(12);
    if (!header.isEmpty()) {
        if (y + 2 * rowRoom > bottom)
            newPage();
        tableRow(header, columns, true);
    }
    for (const QStringList &row : rows) {
        const qreal pad = mm(CellPadMm);
        qreal h = 0;
        for (int i = 0; i < columns.size(); ++i)
            h = qMax(h, textHeight(row.value(i), columns[i] - 2 * pad, false, BodyPoints));
        if (y + h + 2 * pad > bottom) {
            newPage();
            if (!header.isEmpty())
                tableRow(header, columns, true);
        }
        tableRow(row, columns, false);
    }
    y += mm(GapMm);
}

void ReportDocument::fields(const QVector<QPair<QString, QString>> &rows, int across)
{
    across = qMax(1, across);
    QVector<QStringList> cells;
    for (int i = 0; i < rows.size(); i += across) {
        QStringList line;
        for (int j = i; j < i + across && j < rows.size(); ++j)
            line << rows[j].first << rows[j].second;
        cells.append(line);
    }
    QVector<qreal> widths;
    for (int j = 0; j < across; ++j)
        widths << 1 << (across == 1 ? 2 : 1.2);
    table({}, cells, widths);
}

bool ReportDocument::end(QString *error)
{
    drawFooter();
    if (!paint->end()) {
        *error = QStringLiteral("cannot finish %1").arg(path);
        return false;
    }
    writer.reset();
    if (QFileInfo(path).size() == 0) {
        *error = QStringLiteral("nothing was written to %1").arg(path);
        return false;
    }
    return true;
}
