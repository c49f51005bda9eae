#include "tavrix/LastError.h"

#include <cstring>

namespace qds::tvx {

namespace {
thread_local std::string t_reason;
}

void SetLastReason(const std::string& reason) {
    try {
        t_reason = reason;
    } catch (...) {
        t_reason.clear();  // out of memory: no reason rather than an exception
    }
}

void ClearLastReason() {
    t_reason.clear();
}

const std::string& LastReason() {
    return t_reason;
}

int32_t CopyLastReason(char* buffer, int32_t size) {
    const std::string& r = t_reason;
    if (buffer != nullptr && size > 0) {
        const size_t n =
            r.size() < static_cast<size_t>(size) - 1 ? r.size() : static_cast<size_t>(size) - 1;
        std::memcpy(buffer, r.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int32_t>(r.size() > INT32_MAX ? INT32_MAX : r.size());
}

}  // namespace qds::tvx
