// Plan rows made up without a scan, shared by the planner and status benchmarks.
#pragma once

#include "profiles/FileList.h"

#include <cstdint>

namespace corvane::bench {

// A present side of a plan row.
inline TEntrySide Side(int64_t size, int64_t time, uint32_t attr, uint32_t mode) {
    TEntrySide side;
    side.Size = size;
    side.Time = time;
    side.Attr = attr;
    side.Mode = mode;
    side.Present = true;
    return side;
}

// A present side that is a plain file.
inline TEntrySide FileSide(int64_t size, int64_t time) {
    return Side(size, time, 0, 0100644);
}

} // namespace corvane::bench
