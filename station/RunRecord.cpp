#include "RunRecord.h"

#include "StatusRecord.h"

#include <QJsonArray>
#include <QXmlStreamWriter>

namespace {

QString stamp(const QDateTime &t)
{
    return t.isValid() ? StatusRecord::timestamp(t) : QString();
}

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 3);
}

} // namespace

QJsonObject StepRecord::toJson() const
{
    QJsonArray list;
    for (const Measurement &m : measurements)
        list.append(m.toJson());
    return QJsonObject{{QStringLiteral("name"), name},
                       {QStringLiteral("kind"), kind},
                       {QStringLiteral("outcome"), reached ? outcomeName(outcome) : QStringLiteral("not_run")},
                       {QStringLiteral("reason"), reason},
                       {QStringLiteral("start"), stamp(start)},
                       {QStringLiteral("duration_s"), double(durationMs) / 1000.0},
                       {QStringLiteral("measurements"), list}};
}

QJsonObject EndState::toJson() const
{
    return QJsonObject{{QStringLiteral("applied"), applied},
                       {QStringLiteral("writes_accepted"), writesAccepted},
                       {QStringLiteral("confirmed_by_status"), confirmed},
                       {QStringLiteral("laser_on"), laserOn},
                       {QStringLiteral("tec"), applied && writesAccepted ? QStringLiteral("automatic") : QStringLiteral("unknown")},
                       {QStringLiteral("fans"), applied && writesAccepted ? QStringLiteral("automatic") : QStringLiteral("unknown")},
                       {QStringLiteral("note"), note}};
}

QJsonObject RunRecord::toJson() const
{
    QJsonArray stepList;
    for (const StepRecord &s : steps)
        stepList.append(s.toJson());
    return QJsonObject{
        {QStringLiteral("korvex_test_record"), 1},
        {QStringLiteral("unit"), QJsonObject{{QStringLiteral("serial_number"), serial},
                                             {QStringLiteral("laser_type"), laserType},
                                             {QStringLiteral("firmware_before"), firmwareBefore},
                                             {QStringLiteral("firmware_after"), firmwareAfter},
                                             {QStringLiteral("port"), port}}},
        {QStringLiteral("station"), station},
        {QStringLiteral("operator"), operatorName},
        {QStringLiteral("plan"), QJsonObject{{QStringLiteral("name"), planName},
                                             {QStringLiteral("file"), planPath},
                                             {QStringLiteral("sha256"), planSha256}}},
        {QStringLiteral("korvex_version"), korvexVersion},
        {QStringLiteral("start"), stamp(start)},
        {QStringLiteral("end"), stamp(end)},
        {QStringLiteral("duration_s"), double(durationMs()) / 1000.0},
        {QStringLiteral("outcome"), outcomeName(outcome)},
        {QStringLiteral("reason"), reason},
        {QStringLiteral("failed_step"), failedStep},
        {QStringLiteral("end_state"), endState.toJson()},
        {QStringLiteral("steps"), stepList}};
}

QJsonObject RunRecord::summaryJson() const
{
    return QJsonObject{{QStringLiteral("port"), port},
                       {QStringLiteral("serial_number"), serial},
                       {QStringLiteral("plan"), planName},
                       {QStringLiteral("outcome"), outcomeName(outcome)},
                       {QStringLiteral("failed_step"), failedStep},
                       {QStringLiteral("reason"), reason},
                       {QStringLiteral("duration_s"), double(durationMs()) / 1000.0},
                       {QStringLiteral("end_state_confirmed"), endState.confirmed},
                       {QStringLiteral("record"), folder}};
}

QByteArray RunRecord::toJunitXml() const
{
    int failures = 0, errors = 0, skipped = 0;
    for (const StepRecord &s : steps) {
        if (!s.reached || s.outcome == Outcome::Aborted)
            ++skipped;
        else if (s.outcome == Outcome::Fail)
            ++failures;
        else if (s.outcome == Outcome::Error)
            ++errors;
    }
    QByteArray out;
    QXmlStreamWriter x(&out);
    x.setAutoFormatting(true);
    x.writeStartDocument();
    x.writeStartElement(QStringLiteral("testsuites"));
    x.writeStartElement(QStringLiteral("testsuite"));
    const QString suite = (serial.isEmpty() ? port : serial) + QLatin1Char(' ') + planName;
    x.writeAttribute(QStringLiteral("name"), suite);
    x.writeAttribute(QStringLiteral("tests"), QString::number(steps.size()));
    x.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    x.writeAttribute(QStringLiteral("errors"), QString::number(errors));
    x.writeAttribute(QStringLiteral("skipped"), QString::number(skipped));
    x.writeAttribute(QStringLiteral("time"), seconds(durationMs()));
    x.writeAttribute(QStringLiteral("timestamp"), start.toString(Qt::ISODate));
    x.writeAttribute(QStringLiteral("hostname"), station);
    x.writeStartElement(QStringLiteral("properties"));
    const QVector<QPair<QString, QString>> properties = {
        {QStringLiteral("serial_number"), serial}, {QStringLiteral("port"), port},
        {QStringLiteral("plan_sha256"), planSha256}, {QStringLiteral("operator"), operatorName},
        {QStringLiteral("outcome"), outcomeName(outcome)}, {QStringLiteral("firmware_before"), firmwareBefore},
        {QStringLiteral("firmware_after"), firmwareAfter}};
    for (const auto &p : properties) {
        x.writeStartElement(QStringLiteral("property"));
        x.writeAttribute(QStringLiteral("name"), p.first);
        x.writeAttribute(QStringLiteral("value"), p.second);
        x.writeEndElement();
    }
    x.writeEndElement();
    for (const StepRecord &s : steps) {
        x.writeStartElement(QStringLiteral("testcase"));
        x.writeAttribute(QStringLiteral("name"), s.name);
        x.writeAttribute(QStringLiteral("classname"), planName + QLatin1Char('.') + s.kind);
        x.writeAttribute(QStringLiteral("time"), seconds(s.durationMs));
        if (!s.reached || s.outcome == Outcome::Aborted) {
            x.writeStartElement(QStringLiteral("skipped"));
            x.writeAttribute(QStringLiteral("message"), s.reached ? s.reason : QStringLiteral("not reached"));
            x.writeEndElement();
        } else if (s.outcome == Outcome::Fail || s.outcome == Outcome::Error) {
            x.writeStartElement(s.outcome == Outcome::Fail ? QStringLiteral("failure") : QStringLiteral("error"));
            x.writeAttribute(QStringLiteral("message"), s.reason);
            x.writeAttribute(QStringLiteral("type"), s.kind);
            QStringList lines;
            for (const Measurement &m : s.measurements)
                if (m.outcome != Outcome::Pass)
                    lines.append(m.failureText());
            x.writeCharacters(lines.isEmpty() ? s.reason : lines.join(QLatin1Char('\n')));
            x.writeEndElement();
        } else if (s.outcome == Outcome::Marginal) {
            x.writeTextElement(QStringLiteral("system-out"), QStringLiteral("marginal: ") + s.reason);
        }
        x.writeEndElement();
    }
    x.writeEndElement();
    x.writeEndElement();
    x.writeEndDocument();
    return out;
}

QStringList RunRecord::resultsHeader()
{
    return {QStringLiteral("time"), QStringLiteral("station"), QStringLiteral("port"), QStringLiteral("serial_number"),
            QStringLiteral("plan"), QStringLiteral("outcome"), QStringLiteral("failed_step"), QStringLiteral("duration_s"),
            QStringLiteral("record")};
}

QStringList RunRecord::resultsRow() const
{
    return {stamp(start), station, port, serial, planName, outcomeName(outcome), failedStep, seconds(durationMs()), folder};
}
