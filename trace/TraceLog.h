// The process-wide text trace of Kolvex.
//
// CTraceLog::Instance() may be called from any thread; the first call creates the log and
// reads its configuration from the registry (key SOFTWARE\ScannerConfig\JposScanner,
// values "LogFileFullPath" and "LogLevel"). Write() never fails towards its caller.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <string>

#include "platform/sync.h"

namespace qds {

// Trace levels, spdlog style: a line is written when its level is not above the configured
// "LogLevel". Write takes these (an int32_t, so a configured number compares directly).
namespace level {
enum level_enum : int32_t {
    off = 0,     // "[OFF]    ": configured, nothing is written
    fatal = 1,   // "[Fatal]  "
    err = 2,     // "[Error]  ": the two failure lines of ClaimDevice
    warn = 3,    // "[Warn]   ": "SendCommand other dev!"
    info = 4,    // "[INFO]   "
    debug = 5,   // "[DEBUG]  ": trace scopes and every other line of Kolvex
    detail = 6,  // "[Detail] "; any higher level is named "[UnKnow] "
};
}  // namespace level

// Traced operations entered and not yet left, by all threads together.
extern std::atomic<int32_t> g_nTraceDepth;

class CTraceLog {
  public:
    static constexpr int kPathMax = 260;

    static CTraceLog& Instance();

    // Reads the configuration now. Instance() uses one such object for the whole process;
    // tests create their own to see other configurations.
    CTraceLog();
    CTraceLog(const CTraceLog&) = delete;
    CTraceLog& operator=(const CTraceLog&) = delete;

    void Write(int32_t level, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    void WriteV(int32_t level, const char* format, va_list args);

    int32_t Level() const {
        return m_level.load(std::memory_order_relaxed);
    }

    // Test seam: replaces the configuration read from the registry.
    void ConfigureForTests(int32_t level, const std::string& path);
    const std::string& FilePath() const {
        return m_path;
    }

    // The 9-character name written for a level.
    static const char* LevelName(int32_t level);

  private:
    void LoadConfig();

    std::string m_path;
    std::string m_defaultName = "Jposlog.log";
    std::string m_keyPath;
    std::atomic<int32_t> m_level{0};  // fixed once configured; tests may replace it
    plat::CCriticalSection m_cs;
};

// Writes the enter line on construction and the exit line on destruction, indented by the
// process-wide nesting depth. name must outlive the scope (a string literal).
class CTraceScope {
  public:
    explicit CTraceScope(const char* name);
    CTraceScope(const char* name, int32_t value);
    ~CTraceScope();
    CTraceScope(const CTraceScope&) = delete;
    CTraceScope& operator=(const CTraceScope&) = delete;

  private:
    const char* m_name;
};

}  // namespace qds
