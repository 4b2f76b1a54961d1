// The test plan reader against arbitrary bytes. A refused plan says why in
// one line that names the plan; an accepted one has steps, and every write
// in it is one the command catalogue lets through.

#include "CommandCatalogue.h"
#include "PlanReader.h"

#include "FuzzCheck.h"

#include <cstdint>

namespace {

const QString PlanPath = QStringLiteral("/nonexistent/fuzz-plan.yaml");

bool namesThePlan(const QString &text)
{
    for (const QChar c : text)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            return false;
    return text.startsWith(PlanPath);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The reader's lazily built statics come into being once, here, not
    // inside the first input's leak check.
    static const bool warm = [] {
        TestPlan p;
        QString e;
        return PlanReader::parse("name: warm\nsteps:\n  - name: a\n    check: {alarms: none}\n", PlanPath, &p, &e)
            && !PlanReader::parse("[", PlanPath, &p, &e);
    }();
    FUZZ_REQUIRE(warm);
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    TestPlan plan;
    QString error;
    if (!PlanReader::parse(bytes, PlanPath, &plan, &error)) {
        FUZZ_REQUIRE(namesThePlan(error));
        return 0;
    }
    FUZZ_REQUIRE(!plan.steps.isEmpty());
    for (const PlanStep &step : plan.steps) {
        FUZZ_REQUIRE(step.line >= 1);
        for (const PlanWrite &write : step.writes)
            FUZZ_REQUIRE(CommandCatalogue::check(write.word, write.values));
    }
    return 0;
}
