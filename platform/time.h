// Clocks, sleeping and thread identity.
#pragma once

#include <cstdint>

namespace qds::plat {

// Milliseconds since an arbitrary start, wrapping at 2^32 like GetTickCount.
uint32_t TickMs();
void SleepMs(uint32_t ms);

struct LocalTimeMs {
    uint16_t year, month, day, hour, minute, second, milliseconds;
};
LocalTimeMs LocalTimeNow();

// GetCurrentThreadId on Win32, the kernel thread id (gettid) on Linux.
uint32_t CurrentThreadId();

}  // namespace qds::plat
