#pragma once

#include <cstdlib>

// A property the fuzzer must never see broken: abort, so that it keeps the input.
inline void check(bool ok)
{
    if (!ok)
        std::abort();
}
