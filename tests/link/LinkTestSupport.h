#ifndef KORVEX_TESTS_LINKTESTSUPPORT_H
#define KORVEX_TESTS_LINKTESTSUPPORT_H

// Helpers for the device link tests: a thread-safe recorder of the
// executor's result signals (connected directly, so it sees them in the
// order the worker thread emits them) and frame builders for the device side.

#include "PlCommand.h"
#include "Protocol.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QVariant>
#include <QVector>
#include <QWaitCondition>

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
        QDeadlineTimer deadline(timeoutMs);
        QMutexLocker lock(&m_mutex);
        while (m_events.size() < n) {
            if (!m_changed.wait(&m_mutex, deadline))
                return m_events.size() >= n;
        }
        return true;
    }

    QVector<LinkEvent> takeAll()
    {
        QMutexLocker lock(&m_mutex);
        QVector<LinkEvent> out;
        out.swap(m_events);
        return out;
    }

    int count()
    {
        QMutexLocker lock(&m_mutex);
        return m_events.size();
    }

private:
    void add(const char *signal, const QVariantList &args)
    {
        QMutexLocker lock(&m_mutex);
        m_events.append({QString::fromLatin1(signal), args});
        m_changed.wakeAll();
    }

    QVector<QMetaObject::Connection> m_connections;
    QMutex m_mutex;
    QWaitCondition m_changed;
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
