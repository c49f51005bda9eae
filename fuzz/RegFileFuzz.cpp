// The .reg reader behind the registry on Linux: any file text, 8-bit or UTF-16LE as regedit
// writes it, then queries of several keys and names with buffers of several sizes through
// the registry functions the framework and the service use.
//
// Input: byte 0 picks 8-bit or UTF-16LE (each byte becomes one unit after the byte order
// mark) and a value name from the file's own text; the rest is the file.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/posix/RegFile.h"
#include "platform/registry.h"

using namespace qds::plat;

namespace {

std::string g_file;

void Write(const std::string& text) {
    FILE* f = std::fopen(g_file.c_str(), "wb");
    if (f == nullptr) std::abort();
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

void QueryAll(RegHandle key, const char* name) {
    for (bool wide : {false, true}) {
        // A size query first, then buffers of several sizes, each exactly as large as said.
        uint32_t type = 0, need = 0;
        const bool has = wide ? RegQueryW(key, name, nullptr, &need, &type)
                              : RegQueryA(key, name, nullptr, &need, &type);
        for (uint32_t size : {0u, 1u, 4u, 64u, need}) {
            std::unique_ptr<uint8_t[]> buf(new uint8_t[size + 1]);
            uint32_t got = size;
            const bool ok = wide ? RegQueryW(key, name, buf.get(), &got, &type)
                                 : RegQueryA(key, name, buf.get(), &got, &type);
            if (ok) {
                FUZZ_CHECK(has);
                FUZZ_CHECK(got <= size && got == need);
            }
            if (has && size >= need) FUZZ_CHECK(ok);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_file = "/tmp/kolvex-fuzz-" + std::to_string(getpid()) + ".reg";
    setenv("KOLVEX_REGISTRY", g_file.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string file;
    if (data[0] & 1) {
        file = "\xFF\xFE";
        for (char c : text) {
            file += c;
            file += '\0';
        }
    } else {
        file = text;
    }
    Write(file);

    // The parser alone: every key path normalised and each kept once.
    const regfile::File parsed = regfile::Parse(file);
    for (size_t i = 0; i < parsed.keys.size(); ++i) {
        const std::string& p = parsed.keys[i].path;
        FUZZ_CHECK(regfile::NormalizePath(p) == p);
        for (size_t j = i + 1; j < parsed.keys.size(); ++j)
            FUZZ_CHECK(!regfile::SameName(p, parsed.keys[j].path));
        for (const regfile::Value& v : parsed.keys[i].values)
            if (v.quoted) FUZZ_CHECK(!v.narrow.empty() && v.narrow.back() == '\0');
    }

    // A name taken from the file text: a quoted name on some line, when there is one.
    std::string fromText = "Local";
    const size_t q = text.find('"', static_cast<size_t>(data[0] >> 1) * 8 % (text.size() + 1));
    if (q != std::string::npos) {
        const size_t e = text.find('"', q + 1);
        fromText = text.substr(q + 1, e == std::string::npos ? 16 : e - q - 1);
    }
    static const char* const kKeys[] = {"SOFTWARE\\ScannerConfig\\JposScanner",
                                        "SOFTWARE\\Tavrix\\udp", "SOFTWARE", ""};
    static const char* const kNames[] = {"LogLevel", "LogFileFullPath", "Suffix", "Local", ""};
    for (const char* k : kKeys) {
        RegHandle key = nullptr;
        if (!RegOpen(RegRootLocalMachine(), k, RegView::View32, &key)) continue;
        for (const char* n : kNames) QueryAll(key, n);
        QueryAll(key, fromText.c_str());
        RegClose(key);
    }
    if (!parsed.keys.empty() && parsed.keys.back().path.find('\0') == std::string::npos) {
        RegHandle key = nullptr;
        if (RegOpen(RegRootLocalMachine(), parsed.keys.back().path.c_str(), RegView::View64,
                    &key)) {
            QueryAll(key, fromText.c_str());
            RegClose(key);
        } else {
            FUZZ_CHECK(false);  // a key the parser kept must open
        }
    }
    return 0;
}
