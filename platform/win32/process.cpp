#include "platform/process.h"

#include <windows.h>

namespace qds::plat {

std::string ExecutablePath() {
    char buf[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return std::string(buf, n);
}

std::string ModulePathOf(const void* addr) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(addr), &module))
        return std::string();
    char buf[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(module, buf, MAX_PATH);
    return std::string(buf, n);
}

char PathSeparator() {
    return '\\';
}

const char* TextLineEnd() {
    return "\r\n";
}

uint32_t CurrentProcessId() {
    return GetCurrentProcessId();
}

std::string GetEnv(const char* name) {
    if (name == nullptr) return std::string();
    char buf[32768];
    const DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return std::string();
    return std::string(buf, n);
}

bool CanJoinThreadsAtUnload() {
    return false;
}

}  // namespace qds::plat
