// A property check inside a fuzz target: on failure it names the property
// and aborts, which libFuzzer reports as a crash with the input kept.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_ASSERT(cond)                                                                   \
    do {                                                                                    \
        if (!(cond)) {                                                                      \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__, \
                         #cond);                                                            \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)
