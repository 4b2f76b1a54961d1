#include "TrendExport.h"

#include "StatusHistory.h"
#include "TrendChart.h"
#include "TrendStore.h"
#include "WatchOutput.h"

#include <QDateTime>
#include <QImage>
#include <QPainter>

namespace TrendExport {

bool writeCsv(const StatusHistory &history, const QString &path, QString *error)
{
    CsvWatchOutput csv;
    if (!WatchTextFile::check(path, WatchTextFile::Existing::Overwrite, csv.header(), error)
        || !csv.open(path, WatchTextFile::Existing::Overwrite, error))
        return false;
    const bool written = history.replay(csv);
    if (!written)
        *error = csv.errorText();
    csv.finish();
    return written;
}

bool writePng(const TrendStore &store, qint64 from, qint64 to, const QString &path, QString *error)
{
    // 180 mm across at 10 pixels a millimetre.
    constexpr qreal unit = 10;
    QImage image(int(190 * unit), int(140 * unit), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        TrendChart::paint(painter, QRectF(5 * unit, 5 * unit, 180 * unit, 130 * unit), unit, store, from, to);
    }
    if (!image.save(path, "PNG")) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

QString defaultName(const QString &serial, const QString &suffix)
{
    return QStringLiteral("korvex-trend-%1%2.%3")
        .arg(serial.isEmpty() ? QString() : serial + QLatin1Char('-'),
             QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")), suffix);
}

} // namespace TrendExport
