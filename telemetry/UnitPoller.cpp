#include "UnitPoller.h"

#include "CommandCatalogue.h"
#include "PlCommand.h"
#include "SPComm.h"
#include "StatusDecoder.h"
#include "StatusFormat.h"

#include <QFileInfo>
#include <QMetaObject>

#include <limits>

// Lives on the executor's worker thread: takes the executor's answers there
// (its signals come while the exchange's slot is still running) and sends
// them to the poller as one queued signal, which Qt drops when the poller
// is gone.
class PollRelay : public QObject
{
    Q_OBJECT
public:
    QByteArray reply;
    quint32 failures = 0;

signals:
    void answered(quint8 result, QByteArray reply, bool portOpen, quint32 failures);
    void opened(quint8 result);
};

UnitPoller::UnitPoller(PlCommand *executor, const Settings &settings, QObject *parent)
    : QObject(parent), executor(executor), relay(new PollRelay), pollSettings(settings),
      openBackOffMs(settings.intervalMs)
{
    qRegisterMetaType<PolledSample>();
    tickTimer.setSingleShot(true);
    tickTimer.setTimerType(Qt::PreciseTimer);
    connect(&tickTimer, &QTimer::timeout, this, &UnitPoller::tick);
    relay->moveToThread(executor->thread());
    PollRelay *r = relay;
    connect(executor, &PlCommand::readCmdResult, relay, [r](quint8, QByteArray frame) { r->reply = frame; },
            Qt::DirectConnection);
    connect(executor, &PlCommand::sendCommErrNums, relay, [r](quint32 count) { r->failures = count; },
            Qt::DirectConnection);
    connect(relay, &PollRelay::answered, this, &UnitPoller::answered);
    connect(relay, &PollRelay::opened, this, &UnitPoller::opened);
}

UnitPoller::~UnitPoller()
{
    // Exchanges already queued on the worker are dropped with the relay.
    relay->disconnect(this);
    relay->deleteLater();
}

void UnitPoller::start(bool portOpen)
{
    isOpen = portOpen;
    running = true;
    clock.start();
    nextSlotMs = 0;
    tickTimer.start(0);
}

void UnitPoller::stop()
{
    running = false;
    tickTimer.stop();
}

bool UnitPoller::decodeStatus(const QByteArray &reply, DevStatusCache *cache)
{
    if (StatusDecoder::commandWord(reply) != StatusDecoder::WordAllStatus)
        return false;
    DevStatusCache fresh;
    if (!StatusDecoder::parseAllStatus(fresh, reply))
        return false;
    StatusDecoder::decodeAlarmBits(fresh);
    StatusDecoder::decodeLaserState(fresh);
    *cache = fresh;
    return true;
}

void UnitPoller::tick()
{
    if (!running)
        return;
    // The sample's time is when it was asked for.
    pollTime = QDateTime::currentDateTime();
    attempts = 0;
    if (isOpen) {
        ask();
        return;
    }
    if (!mayReopen()) {
        complete(nullptr);
        return;
    }
    exchangeOut = true;
    PollRelay *r = relay;
    PlCommand *c = executor;
    const LineSettings line = pollSettings.lineSettings;
    QMetaObject::invokeMethod(relay, [r, c, line] { emit r->opened(c->openPort(line)); }, Qt::QueuedConnection);
}

int UnitPoller::shortestIntervalMs(int baud)
{
    constexpr int AnswerMs = 5;
    const CommandRow *status = CommandCatalogue::find(quint16(CommandWord::AllStatusQuery));
    // A request is the address, the command word, its data and the CRC.
    const int bytes = 1 + 2 + status->dataLength + 2 + status->replyLength;
    return SPComm::lineTimeMs(bytes, baud) + AnswerMs;
}

bool UnitPoller::mayReopen()
{
    if (pollSettings.lineSettings.name.isEmpty())
        return false;
    // A stat per interval is cheap; an open that fails is retried less often.
    if (!QFileInfo::exists(pollSettings.port)) {
        openBackOffMs = pollSettings.intervalMs;
        return false;
    }
    return clock.elapsed() >= nextOpenMs;
}

void UnitPoller::opened(quint8 result)
{
    exchangeOut = false;
    if (result == ResultOk) {
        isOpen = true;
        openBackOffMs = pollSettings.intervalMs;
        emit portBack(pollSettings.port);
        ask();
        return;
    }
    nextOpenMs = clock.elapsed() + openBackOffMs;
    openBackOffMs = qMin(openBackOffMs * 2, qMax(pollSettings.maxReopenBackOffMs, pollSettings.intervalMs));
    complete(nullptr);
}

void UnitPoller::ask()
{
    ++attempts;
    exchangeOut = true;
    PollRelay *r = relay;
    PlCommand *c = executor;
    QMetaObject::invokeMethod(
        relay,
        [r, c] {
            r->reply.clear();
            const quint8 result = c->queryAllStatParam();
            if (result == ResultOk) {
                emit r->answered(result, r->reply, true, r->failures);
                return;
            }
            // A failed exchange makes the executor look whether its device
            // has gone, after the exchange: the port's state is asked after that.
            const QByteArray reply = r->reply;
            QMetaObject::invokeMethod(
                r, [r, c, result, reply] { emit r->answered(result, reply, c->isSpcOn(), r->failures); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void UnitPoller::answered(quint8 result, const QByteArray &reply, bool portOpenNow, quint32 failureCount)
{
    exchangeOut = false;
    failures = failureCount;
    DevStatusCache status;
    if (result == ResultOk && decodeStatus(reply, &status)) {
        complete(&status);
        return;
    }
    if (!portOpenNow) {
        // The samples go on, lost, until the port is back.
        isOpen = false;
        nextOpenMs = 0;
        openBackOffMs = pollSettings.intervalMs;
        emit portGone(pollSettings.port);
    } else if (running && attempts <= pollSettings.retries) {
        ask();
        return;
    }
    complete(nullptr);
}

void UnitPoller::complete(const DevStatusCache *status)
{
    PolledSample s;
    s.time = pollTime;
    s.port = pollSettings.port;
    s.answered = status != nullptr;
    if (status) {
        s.status = *status;
        const QString serial = StatusFormat::formatSerialNumber(status->serialNum);
        if (!serial.isEmpty())
            unitSerial = serial;
        ++sampleCount;
    } else {
        ++lostCount;
    }
    s.serial = unitSerial;
    s.portOpen = isOpen;
    s.consecutiveFailures = isOpen ? failures : std::numeric_limits<quint32>::max();
    emit sampled(s);
    if (!running)
        return;
    if (pollSettings.count > 0 && sampleCount + lostCount >= pollSettings.count) {
        stop();
        emit finished();
        return;
    }
    // A fixed rate; a poll that overran its slot starts the next at once.
    nextSlotMs += pollSettings.intervalMs;
    const qint64 now = clock.elapsed();
    if (nextSlotMs < now)
        nextSlotMs = now;
    tickTimer.start(int(nextSlotMs - now));
}

#include "UnitPoller.moc"
