#include "tavrix/Params.h"

#include "platform/registry.h"
#include "platform/text.h"

namespace qds::tvx {

bool ParseParams(const std::wstring& params, std::map<std::string, std::string>* out) {
    out->clear();
    const std::string text = Narrow(params);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string entry = text.substr(start, end - start);
        start = end + 1;
        if (entry.empty()) continue;
        const size_t eq = entry.find('=');
        if (eq == std::string::npos || eq == 0) return false;
        const std::string key = plat::AsciiLower(entry.substr(0, eq));
        if (!out->emplace(key, entry.substr(eq + 1)).second) return false;
    }
    return true;
}

bool ParseDecimal(const std::string& text, uint32_t* out) {
    if (text.empty() || text.size() > 9) return false;
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    *out = v;
    return true;
}

namespace {

bool OpenTavrixKey(const char* sub, plat::RegHandle* key) {
    using namespace qds::plat;
    const std::string path = std::string("SOFTWARE\\Tavrix\\") + sub;
    // The view of the process's own width, as a program of that width would see it.
    const RegView view = sizeof(void*) == 8 ? RegView::View64 : RegView::View32;
    return RegOpen(RegRootLocalMachine(), path.c_str(), view, key);
}

}  // namespace

bool ReadTavrixDword(const char* sub, const char* name, uint32_t* out) {
    using namespace qds::plat;
    RegHandle key = nullptr;
    if (!OpenTavrixKey(sub, &key)) return false;
    uint32_t value = 0;
    uint32_t size = sizeof value;
    uint32_t type = 0;
    const bool ok =
        RegQueryA(key, name, &value, &size, &type) && type == kRegDword && size == sizeof value;
    RegClose(key);
    if (ok) *out = value;
    return ok;
}

std::string ReadTavrixValue(const char* sub, const char* name) {
    using namespace qds::plat;
    RegHandle key = nullptr;
    if (!OpenTavrixKey(sub, &key)) return std::string();
    char buf[1024] = {};
    uint32_t size = sizeof buf - 1;
    uint32_t type = 0;
    std::string value;
    if (RegQueryA(key, name, buf, &size, &type) && type == kRegSz) {
        buf[size < sizeof buf ? size : sizeof buf - 1] = '\0';
        value = buf;  // stops at the value's own NUL
    }
    RegClose(key);
    return value;
}

std::wstring Widen(const std::string& s) {
    std::wstring w;
    w.reserve(s.size());
    for (unsigned char c : s) w.push_back(static_cast<wchar_t>(c));
    return w;
}

std::string Narrow(const std::wstring& s) {
    std::string n;
    n.reserve(s.size());
    for (wchar_t c : s) {
        n.push_back(c > 0 && c < 0x80 ? static_cast<char>(c) : '?');
    }
    return n;
}

}  // namespace qds::tvx
