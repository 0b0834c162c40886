#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzz {

// A broken invariant aborts, so libFuzzer saves the input exactly as it does for a crash.
inline void require(bool holds, const char* invariant) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", invariant);
        std::abort();
    }
}

} // namespace fuzz
