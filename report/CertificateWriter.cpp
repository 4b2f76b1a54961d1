#include "CertificateWriter.h"

#include "MeasuredText.h"
#include "ReportDocument.h"
#include "TrendChart.h"
#include "TrendStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QLocale>
#include <QPainter>

namespace CertificateWriter {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CertificateWriter", text);
}

QString number(const QJsonValue &v)
{
    return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
}

QString outcomeWord(const QString &outcome)
{
    if (outcome == QLatin1String("pass"))
        return tr("合格");
    if (outcome == QLatin1String("marginal"))
        return tr("临界");
    if (outcome == QLatin1String("fail"))
        return tr("不合格");
    if (outcome == QLatin1String("error"))
        return tr("错误（设备或线路无应答）");
    if (outcome == QLatin1String("aborted"))
        return tr("已中止");
    if (outcome == QLatin1String("not_run"))
        return tr("未执行");
    return outcome;
}

// "20 .. 30 (marginal 0.5)", as the record's limit object says it.
QString limitText(const QJsonObject &m)
{
    QString text;
    const QJsonObject limits = m.value(QStringLiteral("limits")).toObject();
    if (limits.isEmpty()) {
        text = tr("（仅记录）");
    } else {
        if (limits.contains(QStringLiteral("required")))
            text = limits.value(QStringLiteral("required")).toString();
        else if (limits.contains(QStringLiteral("expected")))
            text = QStringLiteral("== ") + number(limits.value(QStringLiteral("expected")));
        else if (limits.contains(QStringLiteral("min")) && limits.contains(QStringLiteral("max")))
            text = number(limits.value(QStringLiteral("min"))) + QStringLiteral(" .. ")
                + number(limits.value(QStringLiteral("max")));
        else if (limits.contains(QStringLiteral("min")))
            text = QStringLiteral(">= ") + number(limits.value(QStringLiteral("min")));
        else if (limits.contains(QStringLiteral("max")))
            text = QStringLiteral("<= ") + number(limits.value(QStringLiteral("max")));
    }
    const double band = m.value(QStringLiteral("marginal")).toDouble();
    if (band > 0)
        text += tr("（临界带 %1）").arg(number(band));
    return text;
}

QString valueText(const QJsonObject &m)
{
    const QJsonValue v = m.value(QStringLiteral("value"));
    const QString unit = m.value(QStringLiteral("unit")).toString();
    const QString text = v.isString() ? v.toString() : v.isDouble() ? measuredText(v.toDouble()) : QStringLiteral("—");
    return unit.isEmpty() ? text : text + QLatin1Char(' ') + unit;
}

QString timeText(const QString &iso)
{
    const QDateTime t = QDateTime::fromString(iso, Qt::ISODateWithMs);
    return t.isValid() ? t.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")) : iso;
}

QVector<QStringList> stepRows(const QJsonArray &steps)
{
    QVector<QStringList> rows;
    for (const QJsonValue &sv : steps) {
        const QJsonObject s = sv.toObject();
        const QString name = s.value(QStringLiteral("name")).toString();
        const QString outcome = s.value(QStringLiteral("outcome")).toString();
        const QJsonArray ms = s.value(QStringLiteral("measurements")).toArray();
        QStringList first{name, QString(), QString(), QString(), outcomeWord(outcome)};
        if (ms.isEmpty()) {
            first[1] = s.value(QStringLiteral("reason")).toString();
            rows.append(first);
            continue;
        }
        bool firstRow = true;
        bool explained = false; // a measurement off its limits says why the step did not pass
        for (const QJsonValue &mv : ms) {
            const QJsonObject m = mv.toObject();
            explained = explained || m.value(QStringLiteral("outcome")).toString() != QLatin1String("pass");
            rows.append({firstRow ? name : QString(), m.value(QStringLiteral("name")).toString(), valueText(m),
                         limitText(m), outcomeWord(m.value(QStringLiteral("outcome")).toString())});
            firstRow = false;
        }
        // The step's own outcome, when its measurements do not tell all of it.
        const QString reason = s.value(QStringLiteral("reason")).toString();
        if (!reason.isEmpty() && !explained)
            rows.append({QString(), reason, QString(), QString(), outcomeWord(outcome)});
    }
    return rows;
}

QString yesNo(bool v)
{
    return v ? tr("是") : tr("否");
}

} // namespace

QString verdictText(const QString &outcome)
{
    return outcome.toUpper() + QStringLiteral(" · ") + outcomeWord(outcome);
}

bool write(const QString &path, const QJsonObject &r, const TrendStore &samples, QPageSize::PageSizeId size,
           QString *error)
{
    const QJsonObject unit = r.value(QStringLiteral("unit")).toObject();
    const QJsonObject plan = r.value(QStringLiteral("plan")).toObject();
    const QJsonObject end = r.value(QStringLiteral("end_state")).toObject();
    const QString serial = unit.value(QStringLiteral("serial_number")).toString();
    const QString outcome = r.value(QStringLiteral("outcome")).toString();
    const QString start = timeText(r.value(QStringLiteral("start")).toString());
    const QString version = r.value(QStringLiteral("korvex_version")).toString();

    ReportDocument doc(path, size);
    if (!doc.begin(tr("Korvex 测试证书"), tr("Korvex %1 · 测试证书 · %2 · %3").arg(version, serial, start), error))
        return false;
    doc.title(tr("测试证书"), tr("设备 %1 · 计划 %2 · %3").arg(serial, plan.value(QStringLiteral("name")).toString(), start));

    doc.heading(tr("结论"));
    QVector<QPair<QString, QString>> verdict{{tr("结论"), verdictText(outcome)}};
    for (const auto &[caption, key] : {std::pair<QString, QString>{tr("原因"), QStringLiteral("reason")},
                                       std::pair<QString, QString>{tr("未通过的步骤"), QStringLiteral("failed_step")}})
        if (!r.value(key).toString().isEmpty())
            verdict.append({caption, r.value(key).toString()});
    doc.fields(verdict);

    doc.heading(tr("设备"));
    doc.fields({{tr("序列号"), serial},
                {tr("激光器类型"), unit.value(QStringLiteral("laser_type")).toString()},
                {tr("测试前固件"), unit.value(QStringLiteral("firmware_before")).toString()},
                {tr("测试后固件"), unit.value(QStringLiteral("firmware_after")).toString()},
                {tr("端口"), unit.value(QStringLiteral("port")).toString()}},
               2);

    doc.heading(tr("测试计划"));
    doc.fields({{tr("名称"), plan.value(QStringLiteral("name")).toString()},
                {tr("文件"), plan.value(QStringLiteral("file")).toString()},
                {tr("SHA-256"), plan.value(QStringLiteral("sha256")).toString()}});

    doc.heading(tr("步骤与测量"));
    doc.table({tr("步骤"), tr("测量"), tr("值"), tr("限值"), tr("结果")},
              stepRows(r.value(QStringLiteral("steps")).toArray()), {2.2, 2.6, 1.5, 2, 1.6});

    if (!samples.isEmpty()) {
        const qreal left = doc.remainingMm() - 12;
        const qreal chartMm = left >= 80 ? qMin<qreal>(left, 130) : 120;
        doc.heading(tr("测试期间的温度、电流与风扇"), chartMm);
        qint64 from = 0, to = 0;
        TrendChart::span(samples, 0, &from, &to);
        TrendChart::paint(*doc.painter(), doc.reserve(chartMm), doc.mm(1), samples, from, to);
    }

    doc.heading(tr("结束状态"));
    doc.fields({{tr("激光器关闭"), yesNo(!end.value(QStringLiteral("laser_on")).toBool())},
                {tr("状态读取确认"), yesNo(end.value(QStringLiteral("confirmed_by_status")).toBool())},
                {tr("TEC"), end.value(QStringLiteral("tec")).toString()},
                {tr("风扇"), end.value(QStringLiteral("fans")).toString()},
                {tr("备注"), end.value(QStringLiteral("note")).toString()}},
               2);

    doc.heading(tr("测试站"));
    doc.fields({{tr("测试站"), r.value(QStringLiteral("station")).toString()},
                {tr("操作员"), r.value(QStringLiteral("operator")).toString()},
                {tr("开始"), start},
                {tr("结束"), timeText(r.value(QStringLiteral("end")).toString())},
                {tr("时长"), tr("%1 秒").arg(number(r.value(QStringLiteral("duration_s"))))},
                {tr("Korvex 版本"), version}},
               2);
    return doc.end(error);
}

} // namespace CertificateWriter
