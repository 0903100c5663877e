// The fuzz targets' one assertion: a property that does not hold stops the run, and libFuzzer keeps the
// input that showed it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(property)                                                                               \
    do {                                                                                                     \
        if (!(property)) {                                                                                   \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #property);             \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
