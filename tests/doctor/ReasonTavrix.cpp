// A framework library that offers tvx_last_error, for the doctor's test of the optional
// export: every tvx_open fails, with a reason naming the type and parameters it was given.
#define TAVRIX_BUILD
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/TavrixExt.h"

namespace {
// Plain bytes: a thread_local with a destructor in a library loaded at run time trips
// LeakSanitizer's exit scan.
thread_local char t_reason[256];

std::string Narrow(const wchar_t* w) {
    std::string s;
    for (; w != nullptr && *w != 0; ++w) s += static_cast<char>(*w < 128 ? *w : '?');
    return s;
}
}  // namespace

extern "C" {
TVX_API TVX_HANDLE KX_STDCALL tvx_open(const wchar_t* type, const wchar_t* params, int32_t) {
    const std::string r = "test framework refuses " + Narrow(type) + " \"" + Narrow(params) + "\"";
    std::snprintf(t_reason, sizeof t_reason, "%s", r.c_str());
    return nullptr;
}
TVX_API int32_t KX_STDCALL tvx_register_notify(TVX_HANDLE, int32_t, TVX_NOTIFY, void*) {
    return -1;
}
TVX_API int32_t KX_STDCALL tvx_write(TVX_HANDLE, const uint8_t*, int32_t, int32_t) {
    return -1;
}
TVX_API int32_t KX_STDCALL tvx_clear(TVX_HANDLE) {
    return 0;
}
TVX_API int32_t KX_STDCALL tvx_close(TVX_HANDLE) {
    return 0;
}
TVX_API int32_t KX_STDCALL tvx_last_error(char* buffer, int32_t size) {
    const size_t len = std::strlen(t_reason);
    if (buffer != nullptr && size > 0) {
        const size_t n = len < static_cast<size_t>(size) ? len : static_cast<size_t>(size) - 1;
        std::memcpy(buffer, t_reason, n);
        buffer[n] = '\0';
    }
    return static_cast<int32_t>(len);
}
}
