// Small file helpers for tests: a temp folder, reading a file's bytes, existence.
#pragma once

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/process.h"

namespace testing_support {

// The temp folder with a trailing separator.
inline std::string TempFolder() {
    std::string d = qds::plat::GetEnv("TMPDIR");
    if (d.empty()) d = qds::plat::GetEnv("TEMP");
    if (d.empty()) d = qds::plat::PathSeparator() == '/' ? "/tmp" : ".";
    if (d.back() != qds::plat::PathSeparator()) d += qds::plat::PathSeparator();
    return d;
}

// A file name in the temp folder, unique to this process and call.
inline std::string TempFile(const std::string& stem) {
    static int s_n = 0;
    return TempFolder() + stem + "_" + std::to_string(qds::plat::CurrentProcessId()) + "_" +
           std::to_string(++s_n) + ".log";
}

inline bool FileExists(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return static_cast<bool>(in);
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The folder of a full file name, with its trailing separator ("" when there is none).
inline std::string FolderOf(const std::string& file) {
    const size_t cut = file.find_last_of(qds::plat::PathSeparator());
    return cut == std::string::npos ? std::string() : file.substr(0, cut + 1);
}

}  // namespace testing_support
