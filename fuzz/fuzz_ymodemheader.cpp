// The file receiver's handling of a hostile header, and of the data blocks
// and the end that follow it. Input: the 128 header data bytes (zero padded
// when shorter), then data that is handed over in blocks of 128 or 1024
// bytes (the block size follows the first data byte), then the end of the
// transfer. Checked: an accepted header names a plain file inside the target
// directory; a refused one ends in failure and leaves no file; a finished
// transfer leaves exactly the announced bytes; nothing ever appears outside
// the target directory.

#include "YmodemFileReceive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "FuzzCheck.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {


class FuzzFileReceive : public YmodemFileReceive
{
public:
    quint8 deliver(Event e, quint8 *buffer, quint32 *length) { return handleEvent(e, buffer, length); }
};

QCoreApplication &application()
{
    static int argc = 1;
    static char name[] = "fuzz_ymodemheader";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    application();
    static QTemporaryDir root;
    FUZZ_REQUIRE(root.isValid());
    // Each input gets an empty target directory inside an outer one, so that
    // a file escaping the target shows up beside it.
    const QString target = root.filePath(QStringLiteral("target"));
    QDir(target).removeRecursively();
    FUZZ_REQUIRE(QDir().mkpath(target));

    quint8 header[Ymodem::SmallBlock] = {};
    std::memcpy(header, data, size < sizeof header ? size : sizeof header);
    const uint8_t *rest = data + (size < sizeof header ? size : sizeof header);
    size_t restSize = size - size_t(rest - data);

    QByteArray written;
    {
        FuzzFileReceive receiver;
        receiver.setTargetDirectory(target);
        quint32 length = Ymodem::SmallBlock;
        const quint8 headerAnswer = receiver.deliver(Ymodem::EventHeader, header, &length);
        FUZZ_REQUIRE(headerAnswer == Ymodem::CodeAck || headerAnswer == Ymodem::CodeCan);
        const bool accepted = headerAnswer == Ymodem::CodeAck;
        if (accepted) {
            const QString name = receiver.receivedFileName();
            FUZZ_REQUIRE(YmodemFileReceive::isSafeFileName(name));
            FUZZ_REQUIRE(!name.contains(QLatin1Char('/')));
            FUZZ_REQUIRE(QFileInfo(receiver.targetPath()).absolutePath() == QFileInfo(target).absoluteFilePath());
            FUZZ_REQUIRE(receiver.currentStatus() == YmodemFileReceive::StatusStarted);
        } else {
            FUZZ_REQUIRE(receiver.currentStatus() == YmodemFileReceive::StatusFailed);
        }

        bool refused = !accepted;
        while (!refused && restSize > 0) {
            quint8 block[Ymodem::LargeBlock] = {};
            const quint32 blockSize = (rest[0] & 1) ? Ymodem::LargeBlock : Ymodem::SmallBlock;
            const size_t n = restSize < blockSize ? restSize : blockSize;
            std::memcpy(block, rest, n);
            rest += n;
            restSize -= n;
            quint32 len = blockSize;
            const quint64 before = receiver.transferredBytes();
            const quint8 answer = receiver.deliver(Ymodem::EventData, block, &len);
            FUZZ_REQUIRE(answer == Ymodem::CodeAck || answer == Ymodem::CodeCan);
            FUZZ_REQUIRE(receiver.transferredBytes() <= receiver.totalBytes());
            if (answer == Ymodem::CodeCan) {
                refused = true;
                FUZZ_REQUIRE(receiver.currentStatus() == YmodemFileReceive::StatusFailed);
            } else {
                written.append(reinterpret_cast<const char *>(block),
                               int(receiver.transferredBytes() - before));
            }
        }
        if (!refused) {
            // The end of the file: stored and acknowledged (ACK), or refused
            // with the cancel burst (CAN) and the transfer failed. Only after
            // an ACK does the closing header end the session.
            const quint8 endAnswer = receiver.deliver(Ymodem::EventEndOfFile, nullptr, nullptr);
            FUZZ_REQUIRE(endAnswer == Ymodem::CodeAck || endAnswer == Ymodem::CodeCan);
            if (endAnswer == Ymodem::CodeAck)
                receiver.deliver(Ymodem::EventFinished, nullptr, nullptr);
            else
                FUZZ_REQUIRE(receiver.currentStatus() == YmodemFileReceive::StatusFailed);
            // A short transfer fails; a complete one finishes, unless the file
            // cannot be saved under its name (too long for the file system,
            // say), which fails too. Only a finished one leaves its file.
            const bool complete = receiver.transferredBytes() == receiver.totalBytes();
            const YmodemFileReceive::Status status = receiver.currentStatus();
            FUZZ_REQUIRE(status == YmodemFileReceive::StatusFinished || status == YmodemFileReceive::StatusFailed);
            if (!complete)
                FUZZ_REQUIRE(status == YmodemFileReceive::StatusFailed);
            QFile result(receiver.targetPath());
            if (status == YmodemFileReceive::StatusFinished) {
                FUZZ_REQUIRE(result.open(QIODevice::ReadOnly));
                FUZZ_REQUIRE(result.readAll() == written);
            } else {
                FUZZ_REQUIRE(!result.exists());
            }
        }
    } // the receiver goes; an unfinished file must go with it

    // Only a finished file may remain, and only inside the target directory.
    const QStringList outer = QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    FUZZ_REQUIRE(outer == QStringList{QStringLiteral("target")});
    const QStringList inner = QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    FUZZ_REQUIRE(inner.size() <= 1);
    return 0;
}
