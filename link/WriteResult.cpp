#include "WriteResult.h"

#include "CommandCatalogue.h"
#include "StatusDecoder.h"
#include "StatusSchema.h"

namespace WriteResult {

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
    // The row names the fields; the data carries them one after the other,
    // each as wide as the status reply has it.
    const QVector<const StatusSchema::Field *> fields =
        CommandCatalogue::reportingFields(CommandWord(StatusDecoder::commandWord(f)));
    int dataBytes = 0;
    for (const StatusSchema::Field *field : fields)
        dataBytes += field->width;
    // Data bytes the echo reads, plus header and CRC, must all be there.
    if (fields.isEmpty() || f.size() < 3 + dataBytes + 2)
        return false;
    int at = 3;
    for (const StatusSchema::Field *field : fields) {
        StatusSchema::decodeField(c, *field, f, at);
        c.reportedFields |= field->display.bit;
        at += field->width;
    }
    return true;
}

} // namespace WriteResult
