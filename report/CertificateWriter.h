#ifndef KORVEX_CERTIFICATEWRITER_H
#define KORVEX_CERTIFICATEWRITER_H

#include <QJsonObject>
#include <QPageSize>
#include <QString>

class TrendStore;

// The certificate a unit leaves the line with: one PDF/A-1b file of its test
// run, drawn from the run's record as record.json holds it (the unit, the
// plan and its hash, every step with its measurements, limits and outcome,
// the end state, station, operator, times) and the samples polled during the
// run (the chart over the test). The same document and charts as the service
// report.
namespace CertificateWriter {

// False with *error set when the file cannot be written.
bool write(const QString &path, const QJsonObject &record, const TrendStore &samples, QPageSize::PageSizeId size,
           QString *error);

// The verdict as the certificate prints it: "PASS · 合格".
QString verdictText(const QString &outcome);

} // namespace CertificateWriter

#endif
