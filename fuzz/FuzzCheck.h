#ifndef KORVEX_FUZZCHECK_H
#define KORVEX_FUZZCHECK_H

// The fuzz targets' invariants: a broken one names itself and aborts, which
// both libFuzzer and the replay test report as a finding.

#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(cond)                                                                         \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__);   \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

#endif
