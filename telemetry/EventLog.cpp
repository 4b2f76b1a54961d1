#include "EventLog.h"

#include "CommandCatalogue.h"
#include "StatusSchema.h"
#include "StatusDecoder.h"
#include "WriteResult.h"

#include <QSaveFile>

namespace {

QString quoted(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')))
        return QLatin1Char('"') + text.replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
    return text;
}

quint32 be(const QByteArray &f, int at, int bytes)
{
    quint32 v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | quint8(f.at(at + i));
    return v;
}

} // namespace

EventLog::EventLog(QObject *parent) : QObject(parent) {}

int EventLog::add(Kind kind, const QString &text, const QString &value, const QString &outcome, bool span)
{
    Event e;
    e.start = QDateTime::currentDateTime();
    e.kind = kind;
    e.text = text;
    e.value = value;
    e.outcome = outcome;
    e.open = span;
    log.append(e);
    emit added(log.size() - 1);
    return log.size() - 1;
}

void EventLog::endSpan(int &index, const QString &outcome)
{
    if (index < 0 || index >= log.size())
        return;
    Event &e = log[index];
    e.end = QDateTime::currentDateTime();
    e.open = false;
    if (!outcome.isEmpty())
        e.outcome = outcome;
    emit changed(index);
    index = -1;
}

void EventLog::endAllSpans(const QString &outcome)
{
    // Without a link nothing is known of the alarms: they end here, marked.
    for (int &alarm : alarmOpen)
        endSpan(alarm, outcome);
    endSpan(noAnswerOpen, outcome);
}

void EventLog::noteStatus(const DevStatusCache &cache)
{
    const QVector<StatusSchema::Alarm> &alarms = StatusSchema::alarms();
    for (int i = 0; i < alarms.size() && i < AlarmCount; ++i) {
        const bool on = cache.alarmBits & alarms[i].bit;
        if (on && alarmOpen[i] < 0)
            alarmOpen[i] = add(Alarm, tr(alarms[i].eventName), QString(), tr("报警中"), true);
        else if (!on && alarmOpen[i] >= 0)
            endSpan(alarmOpen[i], tr("已恢复"));
    }
    // A reply is an answer.
    endSpan(noAnswerOpen, tr("设备恢复应答"));
}

void EventLog::noteErrorCount(quint32 errors, quint32 limit)
{
    if (errors > limit && noAnswerOpen < 0)
        noAnswerOpen = add(NoAnswer, tr("设备无应答"), tr("连续 %1 次无应答").arg(errors), QString(), true);
    else if (errors == 0)
        endSpan(noAnswerOpen, tr("设备恢复应答"));
}

void EventLog::notePortOpened(const QString &port, bool ok, bool reopened)
{
    if (!ok) {
        add(Link, tr("打开串口"), port, tr("失败"));
        return;
    }
    if (linkLostOpen >= 0)
        endSpan(linkLostOpen, reopened ? tr("已重新连接") : tr("已打开"));
    add(Link, reopened ? tr("串口重新打开") : tr("打开串口"), port, tr("成功"));
}

void EventLog::notePortClosed(const QString &port, bool ok)
{
    endAllSpans(tr("连接已关闭"));
    add(Link, tr("关闭串口"), port, ok ? tr("成功") : tr("失败"));
}

void EventLog::notePortLost(const QString &port)
{
    endAllSpans(tr("连接丢失"));
    if (linkLostOpen < 0)
        linkLostOpen = add(Link, tr("连接丢失"), port, QString(), true);
}

void EventLog::noteCommand(quint8 result, const QByteArray &sentFrame)
{
    add(Command, WriteResult::commandName(sentFrame), sentValueText(sentFrame), WriteResult::resultText(result));
}

void EventLog::noteFactoryMode(bool on)
{
    add(Factory, on ? tr("进入工厂模式") : tr("离开工厂模式"));
}

void EventLog::noteTransfer(bool sending, const QString &file, bool ok, const QString &outcome)
{
    add(Firmware, sending ? tr("发送固件") : tr("接收文件"), file, (ok ? tr("成功") : tr("失败")) + tr("：") + outcome);
}

void EventLog::clear()
{
    log.clear();
    for (int &alarm : alarmOpen)
        alarm = -1;
    noAnswerOpen = linkLostOpen = -1;
    emit cleared();
}

QString EventLog::kindName(Kind kind)
{
    switch (kind) {
    case Alarm:
        return tr("报警");
    case Link:
        return tr("连接");
    case NoAnswer:
        return tr("无应答");
    case Command:
        return tr("命令");
    case Factory:
        return tr("工厂模式");
    case Firmware:
        return tr("固件");
    default:
        return QString();
    }
}

QString EventLog::durationText(const Event &event)
{
    if (!event.end.isValid())
        return event.open ? tr("进行中") : QString();
    const qint64 ms = event.start.msecsTo(event.end);
    if (ms < 60000)
        return tr("%1 秒").arg(double(ms) / 1000, 0, 'f', 1);
    const qint64 s = ms / 1000;
    if (s < 3600)
        return tr("%1 分 %2 秒").arg(s / 60).arg(s % 60);
    return tr("%1 小时 %2 分").arg(s / 3600).arg(s % 3600 / 60, 2, 10, QLatin1Char('0'));
}

QString EventLog::sentValueText(const QByteArray &f)
{
    const CommandRow *row = CommandCatalogue::find(StatusDecoder::commandWord(f));
    const int data = f.size() - 5; // address, word, CRC
    if (!row || data <= 0)
        return QString();
    const QString unit = *row->unit ? QLatin1Char(' ') + QString::fromUtf8(row->unit) : QString();
    switch (row->encoding) {
    case DataEncoding::Byte:
        return row->logNameOff ? QString() : QString::number(quint8(f.at(3))) + unit;
    case DataEncoding::Word16: {
        if (data < 2)
            return QString();
        const quint32 raw = be(f, 3, 2);
        const qint64 sent = row->min < 0 ? qint64(qint16(raw)) : qint64(raw);
        return CommandCatalogue::typedText(row->word, sent) + unit;
    }
    case DataEncoding::Hours16In32:
        return data < 4 ? QString() : CommandCatalogue::typedText(row->word, be(f, 5, 2)) + unit;
    case DataEncoding::TwoWords32:
    case DataEncoding::ThreeWords32: {
        QStringList values;
        for (int at = 3; at + 4 <= 3 + data; at += 4)
            values << CommandCatalogue::typedText(row->word, row->min < 0 ? qint64(qint32(be(f, at, 4)))
                                                                          : qint64(be(f, at, 4)));
        return values.join(QStringLiteral(", "));
    }
    case DataEncoding::Raw:
        if (row->word == CommandWord::SerialNumber)
            return QString(); // the serial number is named by the log line
        return QString::fromLatin1(f.mid(3, data).toHex(' ').toUpper());
    default:
        return QString();
    }
}

QStringList EventLog::header()
{
    return {tr("时间"), tr("类型"), tr("事件"), tr("数值"), tr("结果"), tr("结束"), tr("时长")};
}

QStringList EventLog::cells(const Event &e)
{
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    return {e.start.toString(format), kindName(e.kind), e.text, e.value, e.outcome,
            e.end.isValid() ? e.end.toString(format) : QString(), durationText(e)};
}

bool EventLog::saveCsv(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *error = file.errorString();
        return false;
    }
    auto line = [&file](const QStringList &cells) {
        QStringList out;
        for (const QString &cell : cells)
            out << quoted(cell);
        file.write((out.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8());
    };
    // The start time in full, so that the file sorts and merges with others.
    QStringList head = header();
    head[0] = QStringLiteral("time");
    line(head);
    for (const Event &e : log) {
        QStringList row = cells(e);
        row[0] = e.start.toOffsetFromUtc(e.start.offsetFromUtc()).toString(Qt::ISODateWithMs);
        line(row);
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
