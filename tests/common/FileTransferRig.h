#ifndef KORVEX_TESTS_FILETRANSFERRIG_H
#define KORVEX_TESTS_FILETRANSFERRIG_H

// The file sender or receiver under test on a pty of its own; the test plays
// the peer on the device side (rig.pty). The class under test runs on the
// test's thread, so every wait here keeps the event loop turning.
//
//   QTemporaryDir dir;
//   ReceiveRig rx(dir.path());
//   QVERIFY(rx.start());                               // and its first "C" came
//   QCOMPARE(rx.say(makeHeader("a.bin", "3")), QByteArray("\x06" "C"));
//   QCOMPARE(rx.finalStatus(3000), YmodemFileReceive::StatusFinished);

#include "PtyPair.h"
#include "YmodemFileReceive.h"
#include "YmodemFileTransmit.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

// Everything the class sends until the line has been quiet for 100 ms
// (waiting up to `ms` for the first byte).
inline QByteArray answer(PtyPair &pty, int ms = 1500)
{
    QByteArray all;
    QElapsedTimer t, quiet;
    t.start();
    quiet.start();
    while (all.isEmpty() ? t.elapsed() < ms : quiet.elapsed() < 100) {
        QTest::qWait(5);
        const QByteArray got = pty.readAvailable();
        if (!got.isEmpty()) {
            all += got;
            quiet.restart();
        }
    }
    return all;
}

// Exactly n bytes, or what came within ms.
inline QByteArray answerExactly(PtyPair &pty, int n, int ms = 3000)
{
    QByteArray all;
    QElapsedTimer t;
    t.start();
    while (all.size() < n && t.elapsed() < ms) {
        QTest::qWait(5);
        all += pty.readAvailable();
    }
    return all;
}

// Waits up to `ms` for the end of a transfer and returns its final status
// (the last one seen if none came).
template <class S>
S finalStatusOf(const QSignalSpy &status, int ms)
{
    const auto last = [&status] { return status.isEmpty() ? S(0) : status.last().at(0).value<S>(); };
    QElapsedTimer t;
    t.start();
    while (last() < S(2) && t.elapsed() < ms)
        QTest::qWait(10);
    return last();
}

struct ReceiveRig {
    explicit ReceiveRig(const QString &directory)
    {
        r.setTargetDirectory(directory);
        r.setPort(pty.slavePath());
    }
    // Starts the receive; true once its first "C" has arrived.
    bool start() { return r.startTransfer() && answerExactly(pty, 1) == QByteArray(1, 'C'); }
    // Writes `bytes` as the sender and returns the receiver's answer.
    QByteArray say(const QByteArray &bytes, int ms = 1500)
    {
        pty.write(bytes);
        return answer(pty, ms);
    }
    YmodemFileReceive::Status finalStatus(int ms) const { return finalStatusOf<YmodemFileReceive::Status>(status, ms); }
    YmodemFileReceive::Status statusAt(int i) const { return status.at(i).at(0).value<YmodemFileReceive::Status>(); }

    PtyPair pty;
    YmodemFileReceive r;
    QSignalSpy status{&r, &YmodemFileReceive::receiveStatus};
};

struct SendRig {
    explicit SendRig(const QString &file)
    {
        t.setSourceFile(file);
        t.setPort(pty.slavePath());
    }
    bool start() { return t.startTransfer(); }
    // The receiver's "C" and the first `n` bytes that answer it (the header).
    QByteArray prompt(int n = 133)
    {
        pty.write(QByteArray(1, 'C'));
        return answerExactly(pty, n);
    }
    YmodemFileTransmit::Status finalStatus(int ms) const { return finalStatusOf<YmodemFileTransmit::Status>(status, ms); }
    YmodemFileTransmit::Status statusAt(int i) const { return status.at(i).at(0).value<YmodemFileTransmit::Status>(); }

    PtyPair pty;
    YmodemFileTransmit t;
    QSignalSpy status{&t, &YmodemFileTransmit::transmitStatus};
};

#endif
