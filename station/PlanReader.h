#ifndef KORVEX_PLANREADER_H
#define KORVEX_PLANREADER_H

#include "TestPlan.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Reads a production test plan (YAML). Every fault is reported with its
// line and column ("plan.yaml:12:7: ..."), and a plan with any fault is
// refused whole, so that nothing is sent to a unit for a plan that cannot be
// run to its end. Every value a plan sets passes the command catalogue's
// range check here, before any unit is touched.
namespace PlanReader {

// The largest plan read, and the deepest nesting of its YAML: a real plan
// is a few KiB and four levels deep.
constexpr qint64 MaxFileSize = 256 * 1024;
constexpr int MaxDepth = 12;

// Turns a device profile file into the writes that apply it; the command
// line, which knows profiles, hands it in. False with *error for a file that
// cannot be read or has a bad value.
using ProfileLoader = std::function<bool(const QString &path, QVector<PlanWrite> *writes, QString *error)>;

bool read(const QString &path, TestPlan *plan, QString *error, const ProfileLoader &profiles = ProfileLoader());
// The same for bytes already read; path names the plan in messages and
// relative files (profile, image, serial numbers) are taken from its folder.
bool parse(const QByteArray &bytes, const QString &path, TestPlan *plan, QString *error,
           const ProfileLoader &profiles = ProfileLoader());

// "30s", "5m", "500ms", "1.5h" -> milliseconds; false for anything else.
bool parseDuration(const QString &text, qint64 *ms);

// The names `set` takes: the catalogue's command names, a space as "-".
QStringList setterNames();

} // namespace PlanReader

#endif
