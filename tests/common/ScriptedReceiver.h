#ifndef KORVEX_TESTS_SCRIPTEDRECEIVER_H
#define KORVEX_TESTS_SCRIPTEDRECEIVER_H

// A YModem receiver spelled out step by step on the device side of a pty, so
// that a test can make it misbehave where it likes: die at the end of the
// file, start over, ignore an EOT. It shares no code with the engine under
// test. While it waits it keeps the event loop turning, so the sender under
// test may run on the same thread or in another process.
//
//     ScriptedReceiver rx(pty);
//     QVERIFY(rx.takeHeader());
//     QVERIFY(rx.takeBlocksUntilEnd());  // stops at the first EOT, unanswered
//     QVERIFY(rx.finish());              // NAK, ACK + "C", closing header

#include "PtyPair.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QtTest>

class ScriptedReceiver
{
public:
    explicit ScriptedReceiver(PtyPair &pty) : pty(pty) {}

    // Prompts with "C" every `promptMs` until a header block arrives (other
    // bytes are ignored), then answers ACK and "C".
    bool takeHeader(int ms = 20000, int promptMs = 1000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            pty.write(QByteArray(1, 'C'));
            QByteArray block;
            if (!readBlock(&block, promptMs) || quint8(block[1]) != 0)
                continue;
            headerSize = block.size() - 5;
            const QByteArray fields = block.mid(3, headerSize);
            name = fields.left(fields.indexOf('\0'));
            sizeText = fields.mid(name.size() + 1);
            sizeText.truncate(sizeText.indexOf('\0'));
            pty.write(QByteArray("\x06" "C"));
            return true;
        }
        return false;
    }

    // ACKs the data blocks in order until the sender's first EOT, which is
    // left unanswered; a repeated block is ACKed again and not kept.
    bool takeBlocksUntilEnd(int ms = 60000)
    {
        quint8 expected = 1;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            QByteArray block;
            if (!readBlock(&block, int(ms - t.elapsed())))
                return lastByte == 0x04;
            if (quint8(block[1]) == expected) {
                data += block.mid(3, block.size() - 5);
                ++expected;
                pty.write(QByteArray(1, 0x06));
            } else if (quint8(block[1]) == quint8(expected - 1)) {
                pty.write(QByteArray(1, 0x06));
            }
        }
        return false;
    }

    // The usual end after the first EOT: NAK it, ACK and "C" for the second,
    // ACK the closing header. With `deafMs`, what arrives that soon after
    // the "C" is thrown away, as lrzsz's rb flushes its input after a prompt.
    bool finish(int ms = 10000, int deafMs = 0)
    {
        pty.write(QByteArray(1, 0x15));
        if (readByte(ms) != 0x04)
            return false;
        pty.write(QByteArray("\x06" "C"));
        if (deafMs > 0) {
            QTest::qWait(deafMs);
            pty.readAvailable();
            pending.clear();
        }
        QByteArray block;
        if (!readBlock(&block, ms) || quint8(block[1]) != 0)
            return false;
        pty.write(QByteArray(1, 0x06));
        return true;
    }

    QByteArray name;
    QByteArray sizeText;
    int headerSize = 0;
    QByteArray data; // every block's data bytes, padding included

private:
    // The next byte, or -1 when none came within `ms`.
    int readByte(int ms)
    {
        QElapsedTimer t;
        t.start();
        while (pending.isEmpty() && t.elapsed() < ms) {
            pending += pty.readAvailable();
            if (pending.isEmpty())
                QTest::qWait(2);
        }
        if (pending.isEmpty())
            return -1;
        const int b = quint8(pending[0]);
        pending.remove(0, 1);
        return b;
    }

    // A whole block with a good complement and CRC; any other byte ends the
    // wait (it is left in lastByte).
    bool readBlock(QByteArray *block, int ms)
    {
        lastByte = readByte(ms);
        if (lastByte != 0x01 && lastByte != 0x02)
            return false;
        const int length = lastByte == 0x01 ? 128 : 1024;
        *block = QByteArray(1, char(lastByte));
        for (int i = 0; i < length + 4; ++i) {
            const int b = readByte(2000);
            if (b < 0)
                return false;
            block->append(char(b));
        }
        return quint8(block->at(2)) == quint8(~quint8(block->at(1))) && crcOf(block->mid(3, length)) == block->right(2);
    }

    // CRC-16/XMODEM, high byte first.
    static QByteArray crcOf(const QByteArray &bytes)
    {
        quint16 crc = 0;
        for (const char c : bytes) {
            crc ^= quint16(quint8(c)) << 8;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
        }
        return QByteArray() + char(crc >> 8) + char(crc & 0xFF);
    }

    PtyPair &pty;
    QByteArray pending;
    int lastByte = -1;
};

#endif
