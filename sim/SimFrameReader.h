#ifndef KORVEX_SIMFRAMEREADER_H
#define KORVEX_SIMFRAMEREADER_H

#include <QByteArray>
#include <QList>

// Cuts the byte stream the device receives into request frames. Requests
// carry no length: the command word tells the length of most of them; the
// serial number, fan and laser type requests (and unknown words) end where
// the line falls silent, which the caller reports with lineQuiet. Bytes that
// cannot start a frame, and frames with a wrong CRC, are dropped one byte at
// a time until the stream lines up again.
class SimFrameReader
{
public:
    // The longest data block a host can put into one request.
    static constexpr int MaxDataLength = 1019;

    void append(const QByteArray &bytes) { buffer.append(bytes); }
    // Every complete frame found so far, oldest first.
    QList<QByteArray> takeFrames(bool lineQuiet);

    int pending() const { return buffer.size(); }
    qint64 droppedBytes() const { return dropped; }
    // The bytes dropped since the last call, for the verbose trace.
    QByteArray takeDropped();

private:
    // Length of the frame at the head of the buffer: > 0 found, 0 need more
    // bytes, -1 the head byte cannot start a frame.
    int headFrameLength(bool lineQuiet) const;
    int shortestCrcMatch(int minData, int maxData) const;
    bool crcMatches(int frameLength) const;
    void dropHead();

    QByteArray buffer;
    QByteArray recentDrops;
    qint64 dropped = 0;
};

#endif
