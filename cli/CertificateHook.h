#ifndef KORVEX_CERTIFICATEHOOK_H
#define KORVEX_CERTIFICATEHOOK_H

#include "UnitRun.h"

// korvexctl test's certificate.pdf in each record folder: drawn by
// korvex-certificate (beside korvexctl), which reads the record as JSON on
// its standard input and the run's samples.csv, so that korvexctl links no
// graphics library. A certificate that cannot be written makes the record
// fail, as any other file of it would.
namespace CertificateHook {

UnitRun::RecordHook make();

} // namespace CertificateHook

#endif
