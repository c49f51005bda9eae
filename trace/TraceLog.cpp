#include "trace/TraceLog.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/file.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/time.h"

namespace qds {

std::atomic<int32_t> g_nTraceDepth{0};

namespace {
constexpr const char* kLevelNames[] = {"[OFF]    ", "[Fatal]  ", "[Error]  ", "[Warn]   ",
                                       "[INFO]   ", "[DEBUG]  ", "[Detail] "};
constexpr const char* kUnknownLevel = "[UnKnow] ";
}  // namespace

CTraceLog& CTraceLog::Instance() {
    static CTraceLog s_log;  // created once even under concurrent first calls
    return s_log;
}

CTraceLog::CTraceLog() {
    char key[kPathMax + 1];
    std::snprintf(key, sizeof key, "SOFTWARE\\ScannerConfig\\%s", "JposScanner");
    m_keyPath = key;
    try {
        LoadConfig();
    } catch (...) {
        // Out of memory while configuring: nothing is ever written.
        m_level = level::off;
    }
}

const char* CTraceLog::LevelName(int32_t value) {
    if (value >= level::off && value <= level::detail) return kLevelNames[value];
    return kUnknownLevel;
}

void CTraceLog::LoadConfig() {
    m_level = level::off;
    bool havePath = false;
    plat::RegHandle key = nullptr;
    if (plat::RegOpen(plat::RegRootLocalMachine(), m_keyPath.c_str(), plat::RegView::View32,
                      &key)) {
        char buf[512];
        uint32_t size = sizeof buf;
        if (plat::RegQueryA(key, "LogFileFullPath", buf, &size, nullptr) && size >= 5) {
            // The value need not carry its NUL; the path is what precedes the first one.
            const size_t len = strnlen(buf, size);
            // A path that does not fit the 260-character field counts as missing.
            if (len >= 4 && len < static_cast<size_t>(kPathMax)) {
                m_path.assign(buf, len);
                havePath = true;
            }
        }
        int32_t configured = level::off;
        size = sizeof configured;
        if (plat::RegQueryW(key, "LogLevel", &configured, &size, nullptr)) m_level = configured;
        plat::RegClose(key);
    }
    if (!havePath) {
        std::string exe = plat::ExecutablePath();
        const size_t cut = exe.find_last_of(plat::PathSeparator());
        std::string folder = cut == std::string::npos ? std::string() : exe.substr(0, cut + 1);
        m_path = folder + m_defaultName;
    }
}

void CTraceLog::ConfigureForTests(int32_t level, const std::string& path) {
    plat::CLock lock(m_cs);
    m_path = path;
    m_level = level;
}

void CTraceLog::Write(int32_t level, const char* format, ...) {
    if (level > m_level.load(std::memory_order_relaxed)) return;
    va_list args;
    va_start(args, format);
    WriteV(level, format, args);
    va_end(args);
}

void CTraceLog::WriteV(int32_t level, const char* format, va_list args) {
    if (level > m_level.load(std::memory_order_relaxed) || format == nullptr) return;
    try {
        plat::CLock lock(m_cs);
        const plat::LocalTimeMs t = plat::LocalTimeNow();
        char prefix[64];
        std::snprintf(prefix, sizeof prefix, "%04u/%02u/%02u %02u:%02u:%02u.%03u %04X ", t.year,
                      t.month, t.day, t.hour, t.minute, t.second, t.milliseconds,
                      plat::CurrentThreadId());

        std::string message;
        char small[256];
        va_list copy;
        va_copy(copy, args);
        const int n = std::vsnprintf(small, sizeof small, format, copy);
        va_end(copy);
        if (n < 0) return;
        if (static_cast<size_t>(n) < sizeof small) {
            message.assign(small, static_cast<size_t>(n));
        } else {
            std::vector<char> big(static_cast<size_t>(n) + 1);
            std::vsnprintf(big.data(), big.size(), format, args);
            message.assign(big.data(), static_cast<size_t>(n));
        }

        // The whole line is formatted first and appended with one write, so lines of
        // several threads or processes sharing the file never interleave. Every line feed
        // becomes the platform's text line ending, as a text-mode stream would write it.
        const char* eol = plat::TextLineEnd();
        std::string line;
        line.reserve(std::strlen(prefix) + 9 + message.size() + 4);
        line += prefix;
        line += LevelName(level);
        if (std::strcmp(eol, "\n") == 0) {
            line += message;
        } else {
            for (char c : message) {
                if (c == '\n')
                    line += eol;
                else
                    line += c;
            }
        }
        line += eol;
        plat::AppendToFile(m_path.c_str(), line.data(), line.size());  // dropped on failure
    } catch (...) {
        // Out of memory: the line is dropped; the log never fails its caller.
    }
}

CTraceScope::CTraceScope(const char* name) : m_name(name) {
    const int32_t depth = ++g_nTraceDepth;
    if (m_name)
        CTraceLog::Instance().Write(level::debug, "%*s%s [Enter] {", 2 * (depth - 1), "", m_name);
}

CTraceScope::CTraceScope(const char* name, int32_t value) : m_name(name) {
    const int32_t depth = ++g_nTraceDepth;
    if (m_name)
        CTraceLog::Instance().Write(level::debug, "%*s%s value:%d [Enter] {", 2 * (depth - 1), "",
                                    m_name, value);
}

CTraceScope::~CTraceScope() {
    if (m_name)
        CTraceLog::Instance().Write(level::debug, "%*s%s [Exit]  }", 2 * g_nTraceDepth.load() - 2,
                                    "", m_name);
    --g_nTraceDepth;
}

}  // namespace qds
