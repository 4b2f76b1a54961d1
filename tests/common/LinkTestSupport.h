#ifndef KORVEX_TESTS_LINKTESTSUPPORT_H
#define KORVEX_TESTS_LINKTESTSUPPORT_H

// Helpers for the device link tests: a thread-safe recorder of the
// executor's result signals (connected directly, so it sees them in the
// order the worker thread emits them) and frame builders for the device side.

#include "PlCommand.h"
#include "Protocol.h"

#include <QMetaObject>
#include <QVariant>
#include <QVector>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Qt hands queued calls and their arguments between threads under its own
// locks, which ThreadSanitizer cannot see in an uninstrumented Qt. Every call
// a test makes on the worker thread therefore also passes a ticket through a
// standard mutex, so that the ordering is visible to the tool too.
class WorkerGate
{
public:
    static WorkerGate &instance()
    {
        static WorkerGate gate;
        return gate;
    }
    quint64 reserve()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return ++m_reserved;
    }
    void publish(quint64 ticket)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (ticket > m_published)
                m_published = ticket;
        }
        m_cv.notify_all();
    }
    // Calls run in the order they were posted, so the worker counts its own
    // tickets; it reads nothing the poster wrote before the handover.
    void admit()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const quint64 ticket = ++m_admitted;
        m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_published >= ticket; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    quint64 m_reserved = 0;
    quint64 m_published = 0;
    quint64 m_admitted = 0;
};

// Runs fn on target's thread as a queued call, as a window's signal would,
// and returns at once.
inline bool postToWorker(QObject *target, std::function<void()> fn)
{
    WorkerGate &gate = WorkerGate::instance();
    const quint64 ticket = gate.reserve();
    const bool ok = QMetaObject::invokeMethod(target, [fn = std::move(fn)] {
        WorkerGate::instance().admit();
        fn();
    }, Qt::QueuedConnection);
    gate.publish(ticket);
    return ok;
}

// Runs fn on target's thread and waits (up to 10 s) for its result.
template <typename R>
R runOnWorker(QObject *target, std::function<R()> fn)
{
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        R value{};
    };
    auto shared = std::make_shared<Shared>();
    postToWorker(target, [shared, fn = std::move(fn)] {
        R value = fn();
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->value = value;
            shared->done = true;
        }
        shared->cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(shared->mutex);
    if (!shared->cv.wait_for(lock, std::chrono::seconds(10), [&] { return shared->done; }))
        qWarning("worker call timed out");
    return shared->value;
}

// Calls a slot of the executor by name on its own thread, the way a queued
// signal reaches it, and waits for its return value. The Q_ARG temporaries
// live until the caller's full expression ends, which is after the call.
template <typename R, typename... Args>
R callAndWait(QObject *pl, const char *slot, Args... args)
{
    return runOnWorker<R>(pl, std::function<R()>([=] {
        R value{};
        if (!QMetaObject::invokeMethod(pl, slot, Qt::DirectConnection,
                                       QReturnArgument<R>(QMetaType::typeName(qMetaTypeId<R>()), value), args...))
            qFatal("no slot %s", slot);
        return value;
    }));
}

struct LinkEvent
{
    QString signal;
    QVariantList args;
};

class SignalRecorder
{
public:
    explicit SignalRecorder(PlCommand *pl)
    {
        m_connections << QObject::connect(pl, &PlCommand::turnOnSpcommResult, pl, [this](QString name, quint8 r) {
            add("turnOnSpcommResult", {name, int(r)});
        }, Qt::DirectConnection);
        m_connections << QObject::connect(pl, &PlCommand::turnOffSpcommResult, pl, [this](QString name, quint8 r) {
            add("turnOffSpcommResult", {name, int(r)});
        }, Qt::DirectConnection);
        m_connections << QObject::connect(pl, &PlCommand::writeCmdResult, pl, [this](quint8 r, QByteArray frame) {
            add("writeCmdResult", {int(r), frame});
        }, Qt::DirectConnection);
        m_connections << QObject::connect(pl, &PlCommand::readCmdResult, pl, [this](quint8 r, QByteArray frame) {
            add("readCmdResult", {int(r), frame});
        }, Qt::DirectConnection);
        m_connections << QObject::connect(pl, &PlCommand::sendCommErrNums, pl, [this](quint32 n) {
            add("sendCommErrNums", {qulonglong(n)});
        }, Qt::DirectConnection);
    }

    ~SignalRecorder()
    {
        for (const auto &c : m_connections)
            QObject::disconnect(c);
    }
    SignalRecorder(const SignalRecorder &) = delete;
    SignalRecorder &operator=(const SignalRecorder &) = delete;

    // Waits until at least n events have been recorded in total.
    bool waitForCount(int n, int timeoutMs = 3000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return m_events.size() >= n; });
    }

    QVector<LinkEvent> takeAll()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        QVector<LinkEvent> out;
        out.swap(m_events);
        return out;
    }

    int count()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events.size();
    }

private:
    void add(const char *signal, const QVariantList &args)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.append({QString::fromLatin1(signal), args});
        m_changed.notify_all();
    }

    QVector<QMetaObject::Connection> m_connections;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    QVector<LinkEvent> m_events;
};

// A frame as the device would send it: address 0x01, body, correct CRC.
inline QByteArray deviceFrame(const QByteArray &bodyAfterAddress)
{
    QByteArray f;
    f.append(char(0x01));
    f.append(bodyAfterAddress);
    const quint16 crc = Protocol::modbusCrc16(f);
    f.append(char(crc & 0xFF));
    f.append(char(crc >> 8));
    return f;
}

// The 6-byte answer to a write command with the given status byte.
inline QByteArray writeReply(quint8 status, quint16 word = 0x0011)
{
    QByteArray body;
    body.append(char(word >> 8));
    body.append(char(word & 0xFF));
    body.append(char(status));
    return deviceFrame(body);
}

// A full status reply: word 00 C1 and 54 data bytes.
inline QByteArray statusReply(quint16 word = 0x00C1)
{
    QByteArray body;
    body.append(char(word >> 8));
    body.append(char(word & 0xFF));
    for (int i = 0; i < 54; ++i)
        body.append(char(i * 7 + 3));
    return deviceFrame(body);
}

inline QVector<QString> portSettings(const QString &name, const QString &baud = "115200",
                                     const QString &stop = "1", const QString &parity = "无")
{
    return {name, baud, stop, parity};
}

#endif
