// The profile reader against arbitrary bytes. A refusal is one line of
// printable text (a key with a NUL in it is shown escaped); what is accepted
// holds only values the command catalogue allows, and written back out and
// read again it is the same profile.

#include "CommandCatalogue.h"
#include "DeviceProfile.h"

#include "FuzzCheck.h"

#include <QJsonDocument>

#include <cstdint>

namespace {

bool oneLine(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return !text.isEmpty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Qt's and the catalogue's lazily built statics (patterns, codecs) come
    // into being once, here, not inside the first input's leak check.
    static const bool warm = [] {
        DeviceProfile p;
        QString e;
        return DeviceProfile::fromFile("{\"korvex_profile\":1,\"temp_threshold_c\":40.5,\"power\":1,\"max_dac\":1,"
                                       "\"compensation_hours\":1,\"laser_type\":0,\"pid\":{\"kp\":1,\"ki\":0,\"kd\":0},"
                                       "\"source\":{\"firmware\":\"1\",\"laser_type\":0}}",
                                       &p, &e)
            && !DeviceProfile::fromFile("{", &p, &e) && !p.toJson().isEmpty()
            // A key with a NUL, shown escaped: the number formatting behind
            // it keeps data of its own once used.
            && !DeviceProfile::fromFile(QByteArray("{\"po\0wr\": 1, \"po\0wr\": 2}", 24), &p, &e);
    }();
    FUZZ_REQUIRE(warm);
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    DeviceProfile profile;
    QString error;
    if (!DeviceProfile::fromFile(bytes, &profile, &error)) {
        FUZZ_REQUIRE(oneLine(error));
        return 0;
    }
    FUZZ_REQUIRE(CommandCatalogue::accepts(CommandWord::TempThreshold, profile.thresholdTenths));
    FUZZ_REQUIRE(CommandCatalogue::accepts(CommandWord::Power, profile.power));
    FUZZ_REQUIRE(CommandCatalogue::accepts(CommandWord::MaxDacSaved, profile.maxDac));
    FUZZ_REQUIRE(CommandCatalogue::accepts(CommandWord::CompensationHours, profile.compensationHours));
    FUZZ_REQUIRE(CommandCatalogue::accepts(CommandWord::LaserType, profile.laserType));
    FUZZ_REQUIRE(profile.serialRecord.isEmpty() || profile.serialRecord.size() == 8);

    const QByteArray again = QJsonDocument(profile.toJson()).toJson();
    DeviceProfile reread;
    QString why;
    FUZZ_REQUIRE(DeviceProfile::fromFile(again, &reread, &why));
    FUZZ_REQUIRE(reread.toJson() == profile.toJson());
    return 0;
}
