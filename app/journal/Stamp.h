// A moment as the journal keeps it: UTC milliseconds and the local offset.
#pragma once

#include <cstdint>

namespace pondus::journal {

struct Stamp {
    int64_t utcMs = 0;
    int32_t utcOffsetSeconds = 0;

    // The wall clock now, with the offset of the system's time zone.
    static Stamp now();
};

} // namespace pondus::journal
