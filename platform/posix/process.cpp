#include "platform/process.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>

namespace qds::plat {

std::string ExecutablePath() {
    char buf[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

std::string ModulePathOf(const void* addr) {
    Dl_info info{};
    if (dladdr(addr, &info) == 0 || info.dli_fname == nullptr) return std::string();
    return info.dli_fname;
}

char PathSeparator() {
    return '/';
}

const char* TextLineEnd() {
    return "\n";
}

uint32_t CurrentProcessId() {
    return static_cast<uint32_t>(getpid());
}

std::string GetEnv(const char* name) {
    const char* v = name ? std::getenv(name) : nullptr;
    return v ? std::string(v) : std::string();
}

bool CanJoinThreadsAtUnload() {
    return true;
}

}  // namespace qds::plat
