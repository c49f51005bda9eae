// Points the process's trace log at a fresh file at level debug for the lifetime of a test and
// reads back what was written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "trace/TraceLog.h"

namespace testing_support {

class TraceCapture {
  public:
    explicit TraceCapture(int32_t level = qds::level::debug) {
        static int s_n = 0;
        m_path = TempDir() + "kolvex_trace_" + std::to_string(qds::plat::CurrentProcessId()) + "_" +
                 std::to_string(++s_n) + ".log";
        std::remove(m_path.c_str());
        qds::CTraceLog::Instance().ConfigureForTests(level, m_path);
    }
    ~TraceCapture() {
        qds::CTraceLog::Instance().ConfigureForTests(qds::level::off, m_path);
        std::remove(m_path.c_str());
    }

    const std::string& Path() const { return m_path; }

    // Every line written so far, without its line ending.
    std::vector<std::string> Lines() const {
        std::vector<std::string> out;
        std::ifstream in(m_path, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            out.push_back(line);
        }
        return out;
    }

    // The message part of every line (after the 29-character prefix and the level name).
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const std::string& l : Lines()) {
            const size_t at = l.find(' ', l.find(' ', l.find(' ') + 1) + 1);
            out.push_back(at == std::string::npos || l.size() < at + 10 ? l : l.substr(at + 10));
        }
        return out;
    }

    bool Contains(const std::string& message) const {
        for (const std::string& m : Messages())
            if (m == message) return true;
        return false;
    }

    void Clear() { std::remove(m_path.c_str()); }

  private:
    static std::string TempDir() {
        std::string d = qds::plat::GetEnv("TMPDIR");
        if (d.empty()) d = qds::plat::GetEnv("TEMP");
        if (d.empty()) d = qds::plat::PathSeparator() == '/' ? "/tmp" : ".";
        if (d.back() != qds::plat::PathSeparator()) d += qds::plat::PathSeparator();
        return d;
    }
    std::string m_path;
};

}  // namespace testing_support
