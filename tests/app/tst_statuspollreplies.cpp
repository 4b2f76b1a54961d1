// Which read result answers the window's status poll: one sample or one loss
// per poll, whatever else the executor reports between them.

#include "Protocol.h"
#include "StatusBytes.h"
#include "StatusPollReplies.h"

#include <QtTest>

class TestStatusPollReplies : public QObject
{
    Q_OBJECT

private slots:
    void onePerPoll_data();
    void onePerPoll();
};

void TestStatusPollReplies::onePerPoll_data()
{
    // Events: S poll sent, A status reply, s status reply cut short, P PID
    // reply, O another reply, E read failure (no frame), F port opened or
    // closed. Outcomes: + sampled, x lost, - nothing.
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("outcomes");
    QTest::newRow("answered") << "SASA" << "-+-+";
    QTest::newRow("no answer: lost at the next poll") << "SSA" << "-x+";
    QTest::newRow("PID reply first is not the answer") << "SPA" << "--+";
    QTest::newRow("other reply is not the answer") << "SOA" << "--+";
    QTest::newRow("read failure answers as lost") << "SEA" << "-x-";
    QTest::newRow("short status reply is lost") << "Ss" << "-x";
    QTest::newRow("reply without a poll") << "AP" << "--";
    QTest::newRow("two replies to one poll") << "SAA" << "-+-";
    QTest::newRow("port change forgets the poll") << "SFSA" << "---+";
}

void TestStatusPollReplies::onePerPoll()
{
    QFETCH(QString, events);
    QFETCH(QString, outcomes);
    const QByteArray status = StatusBytes::sample().frame();
    const QByteArray pid = Protocol().packFrame(0xA111, QByteArray(20, '\0'));
    const QByteArray other = Protocol().packFrame(0x0052, QByteArray(2, '\0'));
    StatusPollReplies replies;
    QString got;
    for (const QChar event : events) {
        StatusPollReplies::Outcome outcome = StatusPollReplies::Outcome::None;
        switch (event.toLatin1()) {
        case 'S': outcome = replies.sent(); break;
        case 'A': outcome = replies.read(0, status); break;
        case 's': outcome = replies.read(0, status.left(40)); break;
        case 'P': outcome = replies.read(0, pid); break;
        case 'O': outcome = replies.read(0, other); break;
        case 'E': outcome = replies.read(1, QByteArray()); break;
        case 'F': replies.forget(); break;
        }
        got += outcome == StatusPollReplies::Outcome::Sampled ? '+' : outcome == StatusPollReplies::Outcome::Lost ? 'x' : '-';
    }
    QCOMPARE(got, outcomes);
}

QTEST_APPLESS_MAIN(TestStatusPollReplies)
#include "tst_statuspollreplies.moc"
