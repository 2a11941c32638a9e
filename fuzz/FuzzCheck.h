#pragma once

#include <cstdio>
#include <cstdlib>

// An assertion that holds in every build type: a broken promise is a finding,
// so it must stop the fuzzer with the input that broke it.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);               \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
