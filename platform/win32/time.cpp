#include "platform/time.h"

#include <windows.h>

namespace qds::plat {

uint32_t TickMs() {
    return GetTickCount();
}

void SleepMs(uint32_t ms) {
    Sleep(ms);
}

LocalTimeMs LocalTimeNow() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return LocalTimeMs{st.wYear,   st.wMonth,  st.wDay,         st.wHour,
                       st.wMinute, st.wSecond, st.wMilliseconds};
}

uint32_t CurrentThreadId() {
    return GetCurrentThreadId();
}

}  // namespace qds::plat
