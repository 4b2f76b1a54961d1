#ifndef KORVEX_EVENTLOG_H
#define KORVEX_EVENTLOG_H

#include "DevStatusCache.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVector>

// What happened in a session, one entry per event: alarms (temperature and
// each fan) and times the unit did not answer or the link was gone, each
// with its start and end; every command sent with its value and outcome;
// factory mode entered and left; firmware transfers with their outcome. It
// is fed by the handlers that write the log and draw the status, with what
// they were given, so it keeps no state of the device beyond the open spans.
class EventLog : public QObject
{
    Q_OBJECT
public:
    enum Kind { Alarm, Link, NoAnswer, Command, Factory, Firmware, KindCount };
    Q_ENUM(Kind)

    struct Event
    {
        QDateTime start;
        QDateTime end; // invalid for a moment's event, or a span still open
        Kind kind;
        QString text;
        QString value;
        QString outcome;
        bool open = false; // a span that has not ended yet
    };

    explicit EventLog(QObject *parent = nullptr);

    // A complete status reply: alarm bits that rose start an alarm, bits
    // that fell end it.
    void noteStatus(const DevStatusCache &cache);
    // The executor's count of failed exchanges in a row against the limit
    // at which the link lamp turns red: the unit stopped or went on answering.
    void noteErrorCount(quint32 errors, quint32 limit);
    void notePortOpened(const QString &port, bool ok, bool reopened);
    void notePortClosed(const QString &port, bool ok);
    void notePortLost(const QString &port);
    // A write as the executor reports it: the frame it sent and its result.
    void noteCommand(quint8 result, const QByteArray &sentFrame);
    void noteFactoryMode(bool on);
    // A firmware transfer ended: sending (to the device) or receiving.
    void noteTransfer(bool sending, const QString &file, bool ok, const QString &outcome);

    const QVector<Event> &events() const { return log; }
    void clear();

    static QString kindName(Kind kind);
    // "12.5 s", "3 min 4 s", "1 h 02 min"; empty for an event without a span.
    static QString durationText(const Event &event);
    // The value carried by a sent frame, as the operator typed it ("37.5").
    static QString sentValueText(const QByteArray &frame);
    // Time, kind, event, value, outcome, end, duration: the columns of the
    // window, the CSV file and the report.
    static QStringList header();
    static QStringList cells(const Event &event);
    // Every event as one CSV line, header first; false with *error set when
    // the file cannot be written.
    bool saveCsv(const QString &path, QString *error) const;

signals:
    void added(int index);
    void changed(int index);
    void cleared();

private:
    int add(Kind kind, const QString &text, const QString &value = QString(), const QString &outcome = QString(),
            bool span = false);
    void endSpan(int &index, const QString &outcome = QString());
    void endAllSpans(const QString &outcome);

    QVector<Event> log;
    // The entries of the spans now open, -1 for none.
    static constexpr int AlarmCount = 4; // the status reports four alarms
    int alarmOpen[AlarmCount] = {-1, -1, -1, -1};
    int noAnswerOpen = -1;
    int linkLostOpen = -1;
};

#endif
