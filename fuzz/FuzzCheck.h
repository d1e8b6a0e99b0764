#pragma once

#include <cstdio>
#include <cstdlib>

namespace rekkon::fuzz {

// A promise of the library's interface that an input broke: reported and aborted on, so
// libFuzzer saves the input as a crash.
inline void fuzzCheck(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

}  // namespace rekkon::fuzz
