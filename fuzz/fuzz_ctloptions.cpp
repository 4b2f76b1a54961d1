// korvexctl's option parsing against arbitrary command lines (the input's
// NUL-separated words). Every command's options and words are parsed and
// checked as a run checks them, without running the command: no port is
// opened, no file written. A line is either accepted (0) or refused as bad
// arguments (2) with a one-line reason.

#include "Console.h"
#include "KorvexCtl.h"

#include "FuzzCheck.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = [] {
        // Help texts and refusals are not what is being looked at.
        return std::freopen("/dev/null", "w", stdout) != nullptr;
    }();
    (void)quiet;
    static int argc = 1;
    static char name[] = "korvexctl";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    QStringList args;
    for (const QByteArray &word : QByteArray(reinterpret_cast<const char *>(data), int(size)).split('\0'))
        args << QString::fromUtf8(word);
    if (size == 0)
        args.clear();
    KorvexCtl ctl;
    ctl.setRunCommands(false);
    const int code = ctl.run(args);
    FUZZ_REQUIRE(code == 0 || code == 2);
    if (code == 2)
        FUZZ_REQUIRE(!Console::lastError().isEmpty() && !Console::lastError().contains(QLatin1Char('\n')));
    return 0;
}
