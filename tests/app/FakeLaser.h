#ifndef KORVEX_TESTS_FAKELASER_H
#define KORVEX_TESTS_FAKELASER_H

// A scripted laser on the device side of a PtyPair, answering from the test's
// own event loop: it splits the received bytes into request frames (by their
// CRC), keeps them, and answers writes with a 6-byte reply and status queries
// with a status frame the test sets.

#include "PtyPair.h"
#include "Protocol.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSocketNotifier>

class FakeLaser : public QObject
{
    Q_OBJECT
public:
    enum class Mode { Answer, Refuse, Silent };

    explicit FakeLaser(PtyPair &pty) : m_pty(pty), m_notifier(pty.masterFd(), QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, &FakeLaser::onReadable);
    }

    void setMode(Mode mode) { m_mode = mode; }
    // The whole reply frame sent for a status query (any bytes, even short ones).
    void setStatusReply(const QByteArray &frame) { m_statusReply = frame; }
    void setPidReply(const QByteArray &frame) { m_pidReply = frame; }

    QList<QByteArray> frames() const { return m_frames; }
    void clearFrames() { m_frames.clear(); }
    // Received frames with this command word.
    QList<QByteArray> framesWithWord(quint16 word) const
    {
        QList<QByteArray> out;
        for (const QByteArray &f : m_frames)
            if (f.size() >= 3 && ((quint8(f[1]) << 8) | quint8(f[2])) == word)
                out << f;
        return out;
    }

    static QByteArray frame(quint16 word, const QByteArray &data)
    {
        return Protocol().packFrame(word, data);
    }

signals:
    void frameReceived(QByteArray frame);

private slots:
    void onReadable()
    {
        char buf[512];
        const ssize_t n = ::read(m_pty.masterFd(), buf, sizeof buf);
        if (n <= 0)
            return;
        m_pending.append(buf, int(n));
        splitFrames();
    }

private:
    void splitFrames()
    {
        Protocol codec;
        for (;;) {
            while (!m_pending.isEmpty() && quint8(m_pending[0]) != 0x01)
                m_pending.remove(0, 1);
            int found = 0;
            for (int len = 5; len <= m_pending.size(); ++len) {
                if (codec.checkFrame(m_pending.left(len)) == 0) {
                    found = len;
                    break;
                }
            }
            if (!found)
                return;
            const QByteArray f = m_pending.left(found);
            m_pending.remove(0, found);
            m_frames << f;
            emit frameReceived(f);
            answer(f);
        }
    }

    void answer(const QByteArray &f)
    {
        if (m_mode == Mode::Silent)
            return;
        const quint16 word = quint16((quint8(f[1]) << 8) | quint8(f[2]));
        if (word == 0x00C1) {
            if (!m_statusReply.isEmpty())
                m_pty.write(m_statusReply);
            return;
        }
        if (word == 0xA111) {
            if (!m_pidReply.isEmpty())
                m_pty.write(m_pidReply);
            return;
        }
        const char status = m_mode == Mode::Refuse ? 0x01 : 0x00;
        m_pty.write(frame(word, QByteArray(1, status)));
    }

    PtyPair &m_pty;
    QSocketNotifier m_notifier;
    Mode m_mode = Mode::Answer;
    QByteArray m_pending;
    QByteArray m_statusReply;
    QByteArray m_pidReply;
    QList<QByteArray> m_frames;
};

#endif
