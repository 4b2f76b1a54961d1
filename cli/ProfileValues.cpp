#include "ProfileValues.h"

#include "CommandCatalogue.h"
#include "PlCommand.h"

namespace {

// How a value reads in apply's lines: as typed on the command line, the
// compensation with its unit ("36 h"), PID as its three coefficients.
QString valueText(const DeviceProfile::Write &w)
{
    auto typed = [&w](int i) { return CommandCatalogue::typedText(w.word, qint32(w.values.value(i))); };
    if (w.word == CommandWord::PidCoefficients)
        return QStringLiteral("KP %1 KI %2 KD %3").arg(typed(0), typed(1), typed(2));
    const QString text = typed(0);
    return w.word == CommandWord::CompensationHours ? text + QStringLiteral(" h") : text;
}

} // namespace

QVector<ProfileValue> profileValues(const DeviceProfile &profile, bool withSerial)
{
    QVector<ProfileValue> values;
    const QVector<DeviceProfile::Write> writes = profile.writes();
    for (int i = 0; i < writes.size(); ++i) {
        const CommandWord word = writes.at(i).word;
        values.append({QString::fromLatin1(CommandCatalogue::row(word).name),
                       [i](const DeviceProfile &p) { return valueText(p.writes().at(i)); },
                       [i](PlCommand &c, const DeviceProfile &p) {
                           const DeviceProfile::Write w = p.writes().at(i);
                           return c.execWrite(w.word, w.values);
                       }});
    }
    if (withSerial && profile.serialRecord.size() == 8)
        values.append({QStringLiteral("serial-number"),
                       [](const DeviceProfile &p) { return QString::fromLatin1(p.serialRecord.toHex()); },
                       [](PlCommand &c, const DeviceProfile &p) { return c.setDevSerialNum(p.serialRecord); }});
    return values;
}
