#include "PlanReader.h"

#include "OneLine.h"
#include "PlanFields.h"
#include "StatusSchema.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <yaml-cpp/yaml.h>

#include <set>

namespace PlanReader {

namespace {

// A fault of the plan at a place in its text.
struct PlanFault
{
    YAML::Mark mark;
    QString message;
};

[[noreturn]] void fault(const YAML::Node &at, const QString &message)
{
    // One line, whatever the plan's own words quoted in it hold.
    throw PlanFault{at.Mark(), oneLine(message)};
}

QString text(const YAML::Node &n)
{
    return QString::fromStdString(n.Scalar());
}

// yaml-cpp recurses once per level of nesting: a plan nested deeper than any
// real one is refused before it is parsed (flow brackets), and after
// (indentation).
bool flowTooDeep(const QByteArray &bytes, YAML::Mark *mark)
{
    int depth = 0;
    int line = 0, column = 0;
    bool comment = false;
    char quote = 0;
    for (int i = 0; i < bytes.size(); ++i, ++column) {
        const char c = bytes[i];
        if (c == '\n') {
            ++line;
            column = -1;
            comment = false;
            continue;
        }
        if (comment)
            continue;
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '#') {
            comment = true;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[' || c == '{') {
            if (++depth > MaxDepth) {
                mark->pos = i;
                mark->line = line;
                mark->column = column;
                return true;
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

void checkDepth(const YAML::Node &n, int depth)
{
    if (depth > MaxDepth)
        fault(n, QStringLiteral("nested deeper than %1 levels").arg(MaxDepth));
    if (n.IsMap())
        for (const auto &kv : n)
            checkDepth(kv.second, depth + 1);
    else if (n.IsSequence())
        for (const auto &item : n)
            checkDepth(item, depth + 1);
}

class Reader
{
public:
    Reader(const QString &path, const ProfileLoader &profiles) : planDir(QFileInfo(path).absolutePath()), loader(profiles) {}

    void readPlan(const YAML::Node &root, TestPlan *plan)
    {
        if (!root.IsMap())
            fault(root, QStringLiteral("a plan is a mapping with name, steps and optionally timeout, poll"));
        const YAML::Node steps = take(root, {"name", "steps", "timeout", "poll", "leave"}, "steps");
        plan->name = scalar(required(root, "name"), "name");
        if (const YAML::Node t = root["timeout"])
            plan->timeoutMs = duration(t);
        if (const YAML::Node p = root["poll"]) {
            const qint64 ms = duration(p);
            if (ms < 50 || ms > 60000)
                fault(p, QStringLiteral("poll must be from 50ms to 1m"));
            plan->pollMs = int(ms);
        }
        if (const YAML::Node leave = root["leave"]) {
            if (scalar(leave, "leave") != QLatin1String("as-is"))
                fault(leave, QStringLiteral("leave takes \"as-is\" (the last step leaves the unit as it is)"));
            plan->leaveAsIs = true;
        }
        if (!steps.IsSequence() || steps.size() == 0)
            fault(steps, QStringLiteral("steps must be a list of at least one step"));
        QStringList names;
        for (const YAML::Node &s : steps) {
            PlanStep step = readStep(s);
            if (names.contains(step.name))
                fault(s["name"], QStringLiteral("a second step named \"%1\"").arg(step.name));
            names.append(step.name);
            plan->steps.append(step);
        }
    }

private:
    // Refuses keys other than `allowed`; returns the node of `key`.
    YAML::Node take(const YAML::Node &map, std::initializer_list<const char *> allowed, const char *key = nullptr)
    {
        QStringList names;
        for (const char *a : allowed)
            names.append(QLatin1String(a));
        std::set<std::string> seen;
        for (const auto &kv : map) {
            if (!kv.first.IsScalar())
                fault(kv.first, QStringLiteral("a key must be a plain name"));
            const QString k = text(kv.first);
            if (!names.contains(k))
                fault(kv.first, QStringLiteral("unknown key \"%1\" (expected one of: %2)").arg(k, names.join(QStringLiteral(", "))));
            if (!seen.insert(kv.first.Scalar()).second)
                fault(kv.first, QStringLiteral("key \"%1\" given twice").arg(k));
        }
        return key ? required(map, key) : YAML::Node();
    }

    YAML::Node required(const YAML::Node &map, const char *key)
    {
        const YAML::Node n = map[key];
        if (!n)
            fault(map, QStringLiteral("missing \"%1\"").arg(QLatin1String(key)));
        return n;
    }

    QString scalar(const YAML::Node &n, const char *what)
    {
        if (!n.IsScalar() || n.Scalar().empty())
            fault(n, QStringLiteral("%1 must be a plain value").arg(QLatin1String(what)));
        return text(n);
    }

    double number(const YAML::Node &n, const char *what)
    {
        bool ok = false;
        const double v = n.IsScalar() ? text(n).toDouble(&ok) : 0;
        if (!ok || !std::isfinite(v))
            fault(n, QStringLiteral("%1 must be a number, not \"%2\"").arg(QLatin1String(what), n.IsScalar() ? text(n) : QString()));
        return v;
    }

    qint64 duration(const YAML::Node &n)
    {
        qint64 ms = 0;
        if (!n.IsScalar() || !parseDuration(text(n), &ms))
            fault(n, QStringLiteral("a duration is a number with ms, s, m or h (\"30s\", \"5m\"), not \"%1\"")
                         .arg(n.IsScalar() ? text(n) : QString()));
        return ms;
    }

    QString file(const YAML::Node &n, const char *what)
    {
        const QString path = QDir(planDir).absoluteFilePath(scalar(n, what));
        if (!QFileInfo(path).isFile())
            fault(n, QStringLiteral("%1 file %2 does not exist").arg(QLatin1String(what), path));
        return path;
    }

    PlanField field(const YAML::Node &n)
    {
        PlanField f;
        if (!n.IsScalar() || !PlanFields::resolve(text(n), &f))
            fault(n, QStringLiteral("unknown status field \"%1\" (fields: %2)")
                         .arg(n.IsScalar() ? text(n) : QString(), PlanFields::jsonNames().join(QStringLiteral(", "))));
        return f;
    }

    // {min: a, max: b, marginal: m} | {target: t, within: w} | a bare value
    // (a flag's true/false, or a number that must be met exactly).
    PlanLimit limit(const YAML::Node &n, bool flag)
    {
        PlanLimit l;
        if (n.IsScalar()) {
            if (flag) {
                const QString v = text(n);
                if (v != QLatin1String("true") && v != QLatin1String("false"))
                    fault(n, QStringLiteral("a flag is judged by true or false, not \"%1\"").arg(v));
                l.expected = v == QLatin1String("true") ? 1 : 0;
            } else {
                l.expected = number(n, "a limit");
            }
            return l;
        }
        if (!n.IsMap() || flag)
            fault(n, flag ? QStringLiteral("a flag is judged by true or false")
                          : QStringLiteral("limits are {min: A, max: B, marginal: M} or {target: T, within: W}"));
        take(n, {"min", "max", "marginal", "target", "within"});
        if (n["target"] || n["within"]) {
            if (!n["target"] || !n["within"] || n["min"] || n["max"])
                fault(n, QStringLiteral("target and within go together, without min and max"));
            const double t = number(n["target"], "target");
            const double w = number(n["within"], "within");
            if (w < 0)
                fault(n["within"], QStringLiteral("within must not be negative"));
            l.min = t - w;
            l.max = t + w;
        } else {
            if (n["min"])
                l.min = number(n["min"], "min");
            if (n["max"])
                l.max = number(n["max"], "max");
            if (!l.min && !l.max)
                fault(n, QStringLiteral("limits need min, max or both"));
            if (l.min && l.max && *l.min > *l.max)
                fault(n, QStringLiteral("min is above max"));
        }
        if (const YAML::Node m = n["marginal"]) {
            l.marginal = number(m, "marginal");
            if (l.marginal < 0)
                fault(m, QStringLiteral("marginal must not be negative"));
            if (l.min && l.max && 2 * l.marginal >= *l.max - *l.min)
                fault(m, QStringLiteral("the marginal band leaves nothing of the limits"));
        }
        return l;
    }

    QVector<FieldLimit> fieldLimits(const YAML::Node &n)
    {
        if (!n.IsMap() || n.size() == 0)
            fault(n, QStringLiteral("expected a mapping of status fields to limits"));
        QVector<FieldLimit> out;
        for (const auto &kv : n) {
            const PlanField f = field(kv.first);
            for (const FieldLimit &seen : out)
                if (seen.field.schemaIndex == f.schemaIndex)
                    fault(kv.first, QStringLiteral("field \"%1\" given twice").arg(f.name));
            out.append({f, limit(kv.second, PlanFields::isFlag(f))});
        }
        return out;
    }

    PlanWrite write(const YAML::Node &key, const YAML::Node &value)
    {
        const QString name = text(key);
        const CommandRow *row = nullptr;
        for (const CommandRow *r : CommandCatalogue::rows())
            if (setterNames().contains(name) && QString::fromLatin1(r->name).replace(QLatin1Char(' '), QLatin1Char('-')) == name) {
                row = r;
                break;
            }
        if (!row)
            fault(key, QStringLiteral("\"%1\" is not a setting (settings: %2)").arg(name, setterNames().join(QStringLiteral(", "))));
        QString typed = scalar(value, "a setting's value");
        const bool onOff = row->min == 0 && row->max == 1 && row->decimals == 0;
        if (onOff && (typed == QLatin1String("on") || typed == QLatin1String("true")))
            typed = QStringLiteral("1");
        else if (onOff && (typed == QLatin1String("off") || typed == QLatin1String("false")))
            typed = QStringLiteral("0");
        qint64 sent = 0;
        QString why;
        if (!CommandCatalogue::parse(row->word, typed, &sent, &why))
            fault(value, why);
        return PlanWrite{row->word, {quint32(sent)}, QStringLiteral("%1 %2").arg(name, text(value))};
    }

    PlanStep readStep(const YAML::Node &s)
    {
        if (!s.IsMap())
            fault(s, QStringLiteral("a step is a mapping with a name and one kind (check, set, apply, wait, hold, "
                                    "measure, thermal-step, flash, serial, prompt)"));
        PlanStep step;
        step.line = s.Mark().line + 1;
        static const QVector<QPair<const char *, PlanStep::Kind>> kinds = {
            {"check", PlanStep::Kind::Check}, {"set", PlanStep::Kind::Set}, {"apply", PlanStep::Kind::Set},
            {"wait", PlanStep::Kind::Wait}, {"hold", PlanStep::Kind::Hold}, {"measure", PlanStep::Kind::Measure},
            {"thermal-step", PlanStep::Kind::ThermalStep}, {"flash", PlanStep::Kind::Flash},
            {"serial", PlanStep::Kind::Serial}, {"prompt", PlanStep::Kind::Prompt}};
        take(s, {"name", "on-fail", "check", "set", "apply", "wait", "hold", "measure", "thermal-step", "flash", "serial",
                 "prompt"});
        step.name = scalar(required(s, "name"), "name");
        if (const YAML::Node f = s["on-fail"]) {
            const QString v = scalar(f, "on-fail");
            if (v != QLatin1String("continue") && v != QLatin1String("stop"))
                fault(f, QStringLiteral("on-fail is continue or stop, not \"%1\"").arg(v));
            step.continueOnFail = v == QLatin1String("continue");
        }
        const char *kindKey = nullptr;
        for (const auto &k : kinds) {
            if (!s[k.first])
                continue;
            if (kindKey)
                fault(s[k.first], QStringLiteral("a step has one kind; this one has %1 and %2").arg(QLatin1String(kindKey), QLatin1String(k.first)));
            kindKey = k.first;
            step.kind = k.second;
        }
        if (!kindKey)
            fault(s, QStringLiteral("step \"%1\" has no kind (check, set, apply, wait, hold, measure, thermal-step, "
                                    "flash, serial, prompt)").arg(step.name));
        const YAML::Node body = s[kindKey];
        switch (step.kind) {
        case PlanStep::Kind::Check: readCheck(body, &step); break;
        case PlanStep::Kind::Set:
            if (QLatin1String(kindKey) == QLatin1String("apply"))
                readApply(body, &step);
            else
                readSet(body, &step);
            break;
        case PlanStep::Kind::Wait:
            take(body, {"until", "for", "timeout"});
            step.conditions = fieldLimits(required(body, "until"));
            step.forMs = duration(required(body, "for"));
            step.timeoutMs = duration(required(body, "timeout"));
            break;
        case PlanStep::Kind::Hold:
            take(body, {"for", "limits"});
            step.forMs = duration(required(body, "for"));
            step.conditions = fieldLimits(required(body, "limits"));
            break;
        case PlanStep::Kind::Measure: readMeasure(body, &step); break;
        case PlanStep::Kind::ThermalStep: readThermal(body, &step); break;
        case PlanStep::Kind::Flash:
            take(body, {"image", "expect", "timeout"});
            step.imagePath = file(required(body, "image"), "image");
            step.expectedFirmware = firmwareVersion(required(body, "expect"));
            step.timeoutMs = body["timeout"] ? duration(body["timeout"]) : 5 * 60 * 1000;
            break;
        case PlanStep::Kind::Serial: readSerial(body, &step); break;
        case PlanStep::Kind::Prompt:
            step.instruction = scalar(body, "prompt");
            break;
        }
        return step;
    }

    QString firmwareVersion(const YAML::Node &n)
    {
        static const QRegularExpression form(QStringLiteral("^[0-9]{1,3}\\.[0-9]{1,3}$"));
        const QString v = scalar(n, "a firmware version");
        if (!form.match(v).hasMatch())
            fault(n, QStringLiteral("a firmware version is MAJOR.MINOR (\"1.5\"), not \"%1\"").arg(v));
        return v;
    }

    void readCheck(const YAML::Node &body, PlanStep *step)
    {
        if (!body.IsMap())
            fault(body, QStringLiteral("check takes alarms, firmware and laser_type"));
        take(body, {"alarms", "firmware", "laser_type"});
        if (const YAML::Node a = body["alarms"]) {
            if (a.IsScalar() && text(a) == QLatin1String("none")) {
                step->noAlarms = true;
            } else if (a.IsSequence() && a.size() > 0) {
                for (const YAML::Node &name : a) {
                    PlanField f;
                    const QString n = scalar(name, "an alarm");
                    const QString full = n.startsWith(QLatin1String("alarms.")) ? n : QStringLiteral("alarms.") + n;
                    if (!PlanFields::resolve(full, &f) || !PlanFields::isFlag(f) || full == QLatin1String("alarms.laser_on"))
                        fault(name, QStringLiteral("unknown alarm \"%1\" (temperature, fan1, fan2, fan3)").arg(n));
                    step->absentAlarms.append(full);
                    step->alarmFields.append(f.schemaIndex);
                }
            } else {
                fault(a, QStringLiteral("alarms is none or a list of alarms that must be clear"));
            }
        }
        if (const YAML::Node fw = body["firmware"]) {
            if (fw.IsScalar()) {
                step->firmwareOneOf.append(firmwareVersion(fw));
            } else {
                take(fw, {"equal", "at_least", "one_of"});
                if (fw.size() != 1)
                    fault(fw, QStringLiteral("firmware takes one of equal, at_least, one_of"));
                if (fw["equal"])
                    step->firmwareOneOf.append(firmwareVersion(fw["equal"]));
                if (fw["at_least"])
                    step->firmwareAtLeast = firmwareVersion(fw["at_least"]);
                if (const YAML::Node list = fw["one_of"]) {
                    if (!list.IsSequence() || list.size() == 0)
                        fault(list, QStringLiteral("one_of is a list of versions"));
                    for (const YAML::Node &v : list)
                        step->firmwareOneOf.append(firmwareVersion(v));
                }
            }
        }
        if (const YAML::Node lt = body["laser_type"]) {
            const YAML::Node list = lt.IsMap() ? (take(lt, {"one_of"}), required(lt, "one_of")) : lt;
            auto typeCode = [this](const YAML::Node &n) {
                const QString v = scalar(n, "a laser type");
                for (qint64 code = 0; StatusSchema::laserTypeName(code); ++code)
                    if (v == QLatin1String(StatusSchema::laserTypeName(code)) || v == QString::number(code))
                        return code;
                fault(n, QStringLiteral("unknown laser type \"%1\" (Ld-25W, Ld-30W, Ld-50W or 0, 1, 2)").arg(v));
            };
            if (list.IsSequence() && list.size() > 0)
                for (const YAML::Node &n : list)
                    step->laserTypeOneOf.append(typeCode(n));
            else
                step->laserTypeOneOf.append(typeCode(list));
        }
        if (!step->noAlarms && step->absentAlarms.isEmpty() && step->firmwareOneOf.isEmpty()
            && step->firmwareAtLeast.isEmpty() && step->laserTypeOneOf.isEmpty())
            fault(body, QStringLiteral("check needs alarms, firmware or laser_type"));
    }

    void readSet(const YAML::Node &body, PlanStep *step)
    {
        if (!body.IsMap() || body.size() == 0)
            fault(body, QStringLiteral("set takes settings and values (%1)").arg(setterNames().join(QStringLiteral(", "))));
        for (const auto &kv : body) {
            const PlanWrite w = write(kv.first, kv.second);
            for (const PlanWrite &seen : step->writes)
                if (seen.word == w.word)
                    fault(kv.first, QStringLiteral("setting \"%1\" given twice").arg(text(kv.first)));
            step->writes.append(w);
        }
    }

    void readApply(const YAML::Node &body, PlanStep *step)
    {
        step->profilePath = file(body, "profile");
        if (!loader)
            fault(body, QStringLiteral("profiles cannot be applied here"));
        QString why;
        if (!loader(step->profilePath, &step->writes, &why))
            fault(body, QStringLiteral("profile %1: %2").arg(step->profilePath, why));
    }

    void readMeasure(const YAML::Node &body, PlanStep *step)
    {
        take(body, {"field", "stat", "over", "limits"});
        step->measured.field = field(required(body, "field"));
        static const QVector<QPair<const char *, PlanStep::Statistic>> stats = {
            {"value", PlanStep::Statistic::Value}, {"mean", PlanStep::Statistic::Mean}, {"min", PlanStep::Statistic::Min},
            {"max", PlanStep::Statistic::Max}, {"spread", PlanStep::Statistic::Spread}, {"slope", PlanStep::Statistic::Slope}};
        if (const YAML::Node st = body["stat"]) {
            const QString v = scalar(st, "stat");
            bool known = false;
            for (const auto &s : stats)
                if (v == QLatin1String(s.first)) {
                    step->statistic = s.second;
                    known = true;
                }
            if (!known)
                fault(st, QStringLiteral("stat is value, mean, min, max, spread or slope (per minute), not \"%1\"").arg(v));
        }
        if (step->statistic != PlanStep::Statistic::Value)
            step->forMs = duration(required(body, "over"));
        else if (body["over"])
            fault(body["over"], QStringLiteral("a single value has no window; give a stat"));
        step->measured.limit = limit(required(body, "limits"), PlanFields::isFlag(step->measured.field));
    }

    void readThermal(const YAML::Node &body, PlanStep *step)
    {
        take(body, {"start", "step", "settle", "duration", "window", "limits"});
        auto drive = [this](const YAML::Node &n, const char *what) {
            qint64 sent = 0;
            QString why;
            if (!CommandCatalogue::parse(CommandWord::TecPowerDac, scalar(n, what), &sent, &why))
                fault(n, QStringLiteral("%1: %2").arg(QLatin1String(what), why));
            return int(sent);
        };
        step->startDrive = drive(required(body, "start"), "start");
        const YAML::Node stepNode = required(body, "step");
        bool ok = false;
        step->stepDrive = scalar(stepNode, "step").toInt(&ok);
        qint64 end = 0;
        QString why;
        if (!ok || step->stepDrive == 0
            || !CommandCatalogue::parse(CommandWord::TecPowerDac, QString::number(step->startDrive + step->stepDrive), &end, &why))
            fault(stepNode, QStringLiteral("step must be a whole non-zero number of drive counts that keeps the drive "
                                           "in %1").arg(CommandCatalogue::rangeText(CommandWord::TecPowerDac)));
        step->settleMs = duration(required(body, "settle"));
        step->forMs = duration(required(body, "duration"));
        PlanField temp;
        PlanFields::resolve(QStringLiteral("laser_temp_c"), &temp);
        step->measured.field = temp;
        step->window = limit(required(body, "window"), false);
        if (!step->window.min || !step->window.max)
            fault(body["window"], QStringLiteral("the guard window needs min and max of laser_temp_c"));
        const YAML::Node limits = required(body, "limits");
        if (!limits.IsMap())
            fault(limits, QStringLiteral("limits of gain, time_constant, dead_time, fit_quality"));
        take(limits, {"gain", "time_constant", "dead_time", "fit_quality"});
        for (const auto &kv : limits)
            step->fitLimits.append({text(kv.first), limit(kv.second, false)});
    }

    void readSerial(const YAML::Node &body, PlanStep *step)
    {
        take(body, {"from", "file", "model"});
        const QString from = scalar(required(body, "from"), "from");
        if (from == QLatin1String("command-line")) {
            step->serialSource = PlanStep::SerialSource::CommandLine;
        } else if (from == QLatin1String("file")) {
            step->serialSource = PlanStep::SerialSource::File;
            step->serialFile = file(required(body, "file"), "serial numbers");
        } else if (from == QLatin1String("allocate")) {
            step->serialSource = PlanStep::SerialSource::Allocate;
            const YAML::Node m = required(body, "model");
            bool ok = false;
            const qint64 model = scalar(m, "model").toLongLong(&ok);
            if (!ok || model < 0 || model >= (1 << 24))
                fault(m, QStringLiteral("model must be a whole number below 16777216"));
            step->serialModel = quint32(model);
        } else {
            fault(body["from"], QStringLiteral("from is command-line, file or allocate, not \"%1\"").arg(from));
        }
    }

    QString planDir;
    ProfileLoader loader;

};

} // namespace

QStringList setterNames()
{
    QStringList names;
    for (const CommandRow *r : CommandCatalogue::rows()) {
        const bool oneValue = r->encoding == DataEncoding::Byte || r->encoding == DataEncoding::Word16
            || r->encoding == DataEncoding::Hours16In32 || r->word == CommandWord::LaserType;
        const QString name = QString::fromLatin1(r->name).replace(QLatin1Char(' '), QLatin1Char('-'));
        if (!r->read && oneValue && !names.contains(name))
            names.append(name);
    }
    return names;
}

bool parseDuration(const QString &text, qint64 *ms)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,7}(?:\\.[0-9]{1,3})?)(ms|s|m|h)$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const double unit = m.captured(2) == QLatin1String("ms") ? 1 : m.captured(2) == QLatin1String("s") ? 1000
        : m.captured(2) == QLatin1String("m") ? 60000 : 3600000;
    const double v = m.captured(1).toDouble() * unit;
    if (v < 1 || v > 7 * 24 * 3600000.0)
        return false;
    *ms = qint64(v + 0.5);
    return true;
}

bool parse(const QByteArray &bytes, const QString &path, TestPlan *plan, QString *error, const ProfileLoader &profiles)
{
    auto place = [&](const YAML::Mark &mark) {
        return mark.line < 0 ? path : QStringLiteral("%1:%2:%3").arg(path).arg(mark.line + 1).arg(mark.column + 1);
    };
    if (bytes.size() > MaxFileSize) {
        *error = QStringLiteral("%1: larger than %2 KiB; not a test plan").arg(path).arg(MaxFileSize / 1024);
        return false;
    }
    YAML::Mark deep;
    if (flowTooDeep(bytes, &deep)) {
        *error = QStringLiteral("%1: nested deeper than %2 levels").arg(place(deep)).arg(MaxDepth);
        return false;
    }
    TestPlan read;
    read.path = path;
    read.sha256 = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    try {
        const YAML::Node root = YAML::Load(bytes.toStdString());
        checkDepth(root, 0);
        Reader reader(path, profiles);
        reader.readPlan(root, &read);
    } catch (const PlanFault &f) {
        *error = QStringLiteral("%1: %2").arg(place(f.mark), f.message);
        return false;
    } catch (const YAML::Exception &e) {
        *error = QStringLiteral("%1: %2").arg(place(e.mark), oneLine(QString::fromStdString(e.msg)));
        return false;
    }
    *plan = read;
    return true;
}

bool read(const QString &path, TestPlan *plan, QString *error, const ProfileLoader &profiles)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot be read: %2").arg(path, f.errorString());
        return false;
    }
    return parse(f.read(MaxFileSize + 1), path, plan, error, profiles);
}

} // namespace PlanReader
