#include "WriteResult.h"

#include "CommandCatalogue.h"
#include "StatusDecoder.h"

namespace WriteResult {

using StatusDecoder::be16;
using StatusDecoder::be32;

QString resultText(quint8 result)
{
    return CommandCatalogue::resultText(result);
}

QString commandName(const QByteArray &f)
{
    const bool switchOn = f.size() > 3 && quint8(f.at(3)) == 1;
    return CommandCatalogue::logName(StatusDecoder::commandWord(f), switchOn);
}

QString logMessage(quint8 result, const QByteArray &sentFrame)
{
    return commandName(sentFrame) + resultText(result) + QLatin1Char('\n');
}

bool applyWriteEcho(DevStatusCache &c, const QByteArray &f)
{
    // Data bytes the echo reads, plus header and CRC, must all be there.
    auto has = [&f](int dataBytes) { return f.size() >= 3 + dataBytes + 2; };
    const CommandRow *command = CommandCatalogue::find(StatusDecoder::commandWord(f));
    switch (command ? command->echo : WriteEcho::None) {
    case WriteEcho::Power:
        if (!has(2)) return false;
        c.powerPercent = be16(f, 3);
        c.reportedFields |= DevField::PowerPercent;
        return true;
    case WriteEcho::TempThreshold:
        if (!has(2)) return false;
        c.tempThreshold = qint16(be16(f, 3));
        c.reportedFields |= DevField::TempThreshold;
        return true;
    case WriteEcho::FrameCounters:
        if (!has(8)) return false;
        c.devRxFrames = be32(f, 3);
        c.devTxFrames = be32(f, 7);
        c.reportedFields |= DevField::RxFrames | DevField::TxFrames;
        return true;
    case WriteEcho::SerialNumber:
        if (!has(8)) return false;
        c.serialNum = f.mid(3, 8);
        c.reportedFields |= DevField::SerialNum;
        return true;
    case WriteEcho::MaxDac:
        if (!has(2)) return false;
        c.maxDac = be16(f, 3);
        c.reportedFields |= DevField::MaxDac;
        return true;
    case WriteEcho::CompensationHours:
        if (!has(4)) return false;
        c.compensationHours = be32(f, 3);
        c.reportedFields |= DevField::Compensation;
        return true;
    case WriteEcho::None:
        break;
    }
    return false;
}

} // namespace WriteResult
