// The registry read from a text file in the Windows .reg export format. Both views of the
// registry are the same file; the file is read again at every RegOpen, so a test or an
// administrator may change it between two opens.
#include "platform/registry.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/posix/RegFile.h"
#include "platform/text.h"

namespace qds::plat {
namespace regfile {
namespace {

constexpr const char* kRoot = "HKEY_LOCAL_MACHINE";
constexpr const char* kHeader5 = "Windows Registry Editor Version 5.00";
constexpr const char* kHeader4 = "REGEDIT4";

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool StartsWithNoCase(const std::string& s, size_t at, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return s.size() >= at + n && SameName(s.substr(at, n), prefix);
}

void AppendUnit(std::string& out, uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>((u >> 8) & 0xFF);
}

// 8-bit text (UTF-8 where it is valid, one byte per character elsewhere) to UTF-16LE.
std::string Widen(const std::string& s) {
    std::string out;
    out.reserve(s.size() * 2);
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp = c;
        size_t len = 1;
        if (c >= 0xC2 && c <= 0xF4) {
            const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            uint32_t v = c & (need == 2 ? 0x1F : need == 3 ? 0x0F : 0x07);
            bool ok = i + need <= s.size();
            for (size_t k = 1; ok && k < need; ++k) {
                const unsigned char t = static_cast<unsigned char>(s[i + k]);
                if ((t & 0xC0) != 0x80) ok = false;
                v = (v << 6) | (t & 0x3F);
            }
            const uint32_t min = need == 2 ? 0x80 : need == 3 ? 0x800 : 0x10000;
            if (ok && v >= min && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                cp = v;
                len = need;
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            AppendUnit(out, 0xD800 + (cp >> 10));
            AppendUnit(out, 0xDC00 + (cp & 0x3FF));
        } else {
            AppendUnit(out, cp);
        }
        i += len;
    }
    return out;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16LE to UTF-8; an odd trailing byte is dropped, a lone surrogate becomes '?'.
std::string Narrow(const std::string& w) {
    std::string out;
    const size_t units = w.size() / 2;
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = static_cast<unsigned char>(w[2 * i]) |
                     (static_cast<uint32_t>(static_cast<unsigned char>(w[2 * i + 1])) << 8);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const uint32_t lo =
                static_cast<unsigned char>(w[2 * i + 2]) |
                (static_cast<uint32_t>(static_cast<unsigned char>(w[2 * i + 3])) << 8);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = '?';
        AppendUtf8(out, u);
    }
    return out;
}

// A quoted string starting at s[pos] == '"', with \\ and \" escapes. On success pos is just
// past the closing quote.
bool ParseQuoted(const std::string& s, size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') return false;
    out.clear();
    for (size_t i = pos + 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return false;
            out += s[++i];
        } else {
            out += c;
        }
    }
    return false;  // no closing quote
}

bool OnlySpace(const std::string& s, size_t pos) {
    for (size_t i = pos; i < s.size(); ++i)
        if (!std::isspace(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to maxDigits hex digits making up the whole of s.
bool ParseHexNumber(const std::string& s, size_t maxDigits, uint32_t& out) {
    if (s.empty() || s.size() > maxDigits) return false;
    uint32_t v = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    out = v;
    return true;
}

// "aa,bb, cc" (continuation backslashes already removed); empty text is no bytes.
bool ParseHexBytes(const std::string& text, std::string& out) {
    out.clear();
    const std::string t = Trim(text);
    if (t.empty()) return true;
    std::stringstream ss(t);
    std::string item;
    while (std::getline(ss, item, ',')) {
        uint32_t b = 0;
        if (!ParseHexNumber(Trim(item), 2, b)) return false;
        out += static_cast<char>(b);
    }
    return t.back() != ',';
}

bool StartsKey(const std::string& line) {
    const std::string t = Trim(line);
    return !t.empty() && t[0] == '[';
}

bool IsStringType(uint32_t type) {
    return type == 1 || type == 2 || type == 7;
}

// "[HKEY_LOCAL_MACHINE\...]" or "[-HKEY_...]". Returns false for a malformed line; sets
// *isLocalMachine false for another root.
bool ParseKeyLine(const std::string& line, bool& remove, bool& isLocalMachine, std::string& path) {
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
    std::string inner = line.substr(1, line.size() - 2);
    remove = !inner.empty() && inner[0] == '-';
    if (remove) inner.erase(0, 1);
    if (inner.empty() || inner.find_first_of("[]") != std::string::npos) return false;
    const size_t slash = inner.find('\\');
    const std::string root = inner.substr(0, slash);
    if (root.empty() || root.find_first_of(" \t") != std::string::npos) return false;
    isLocalMachine = SameName(root, kRoot);
    const std::string rest = slash == std::string::npos ? std::string() : inner.substr(slash + 1);
    if (rest.find("\\\\") != std::string::npos) return false;  // empty key name
    path = NormalizePath(rest);
    return true;
}

}  // namespace

bool SameName(const std::string& a, const std::string& b) {
    return AsciiEqualNoCase(a, b);
}

std::string NormalizePath(const std::string& path) {
    size_t b = 0, e = path.size();
    while (b < e && path[b] == '\\') ++b;
    while (e > b && path[e - 1] == '\\') --e;
    return path.substr(b, e - b);
}

Key* FindKey(File& f, const std::string& path) {
    for (Key& k : f.keys)
        if (SameName(k.path, path)) return &k;
    return nullptr;
}

void SetValue(Key& key, Value v) {
    for (Value& old : key.values) {
        if (SameName(old.name, v.name)) {
            old = std::move(v);
            return;
        }
    }
    key.values.push_back(std::move(v));
}

bool RemoveValue(Key& key, const std::string& name) {
    for (size_t i = 0; i < key.values.size(); ++i) {
        if (SameName(key.values[i].name, name)) {
            key.values.erase(key.values.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

bool IsSameOrBelow(const std::string& path, const std::string& top) {
    if (top.empty()) return true;
    if (path.size() < top.size()) return false;
    if (!SameName(path.substr(0, top.size()), top)) return false;
    return path.size() == top.size() || path[top.size()] == '\\';
}

Key& FindOrAddKey(File& f, const std::string& path) {
    if (Key* k = FindKey(f, path)) return *k;
    f.keys.push_back(Key{path, {}});
    return f.keys.back();
}

bool RemoveKeyTree(File& f, const std::string& path) {
    bool any = false;
    for (size_t k = 0; k < f.keys.size();) {
        if (IsSameOrBelow(f.keys[k].path, path)) {
            f.keys.erase(f.keys.begin() + static_cast<std::ptrdiff_t>(k));
            any = true;
        } else {
            ++k;
        }
    }
    return any;
}

Value MakeString(const std::string& name, const std::string& text) {
    Value v;
    v.name = name;
    v.type = 1;
    v.quoted = true;
    v.narrow = text + '\0';
    v.wide = Widen(text) + std::string(2, '\0');
    return v;
}

Value MakeDword(const std::string& name, uint32_t value) {
    Value v;
    v.name = name;
    v.type = 4;
    for (int i = 0; i < 4; ++i) v.narrow += static_cast<char>((value >> (8 * i)) & 0xFF);
    v.wide = v.narrow;
    return v;
}

File Parse(const std::string& input) {
    File f;
    std::string text = input;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
        static_cast<unsigned char>(text[1]) == 0xFE)
        text = Narrow(text.substr(2));  // regedit writes UTF-16LE files
    else if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);

    std::vector<std::string> lines;
    {
        std::stringstream ss(text);
        std::string l;
        while (std::getline(ss, l)) {
            if (!l.empty() && l.back() == '\r') l.pop_back();
            lines.push_back(l);
        }
    }

    size_t i = 0;
    while (i < lines.size() && Trim(lines[i]).empty()) ++i;
    if (i == lines.size()) return f;
    const std::string header = Trim(lines[i]);
    bool unicode = false;
    if (header == kHeader5)
        unicode = true;
    else if (header != kHeader4)
        return f;  // not a registry file
    ++i;

    Key* current = nullptr;  // null: values here belong to no key we keep
    std::string currentPath;
    bool haveCurrent = false;
    for (; i < lines.size(); ++i) {
        std::string line = Trim(lines[i]);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            bool remove = false, local = false;
            std::string path;
            haveCurrent = false;
            current = nullptr;
            if (!ParseKeyLine(line, remove, local, path) || !local) continue;
            if (remove) {
                RemoveKeyTree(f, path);
                continue;
            }
            FindOrAddKey(f, path);
            haveCurrent = true;
            currentPath = path;
            continue;
        }
        // A value line; hex data may continue over following lines ending in '\'. A key line
        // ends the continuation: the unfinished value is lost, the key is read as usual.
        while (line.size() > 0 && line.back() == '\\' && i + 1 < lines.size() &&
               line.find("=hex") != std::string::npos && !StartsKey(lines[i + 1])) {
            line.pop_back();
            line += Trim(lines[++i]);
        }
        if (!haveCurrent) continue;
        current = FindKey(f, currentPath);

        Value v;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, pos, v.name)) {
            continue;
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (pos >= line.size() || line[pos] != '=') continue;
        ++pos;
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (pos >= line.size()) continue;

        if (line[pos] == '"') {
            std::string data;
            if (!ParseQuoted(line, pos, data) || !OnlySpace(line, pos)) continue;
            Value s = MakeString(v.name, data);
            SetValue(*current, std::move(s));
        } else if (line[pos] == '-') {
            if (OnlySpace(line, pos + 1)) RemoveValue(*current, v.name);
        } else if (StartsWithNoCase(line, pos, "dword:")) {
            uint32_t n = 0;
            if (!ParseHexNumber(Trim(line.substr(pos + 6)), 8, n)) continue;
            SetValue(*current, MakeDword(v.name, n));
        } else if (StartsWithNoCase(line, pos, "hex")) {
            pos += 3;
            uint32_t type = 3;
            if (pos < line.size() && line[pos] == '(') {
                const size_t close = line.find(')', pos);
                if (close == std::string::npos ||
                    !ParseHexNumber(line.substr(pos + 1, close - pos - 1), 8, type))
                    continue;
                pos = close + 1;
            }
            if (pos >= line.size() || line[pos] != ':') continue;
            std::string raw;
            if (!ParseHexBytes(line.substr(pos + 1), raw)) continue;
            v.type = type;
            if (IsStringType(type)) {
                v.wide = unicode ? raw : Widen(raw);
                v.narrow = unicode ? Narrow(raw) : raw;
            } else {
                v.narrow = v.wide = raw;
            }
            SetValue(*current, std::move(v));
        }
        // anything else is malformed and skipped
    }
    return f;
}

File Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return File{};
    std::stringstream ss;
    ss << in.rdbuf();
    if (in.bad()) return File{};
    return Parse(ss.str());
}

std::string FilePath() {
    const char* env = std::getenv("KOLVEX_REGISTRY");
    return env != nullptr && *env != '\0' ? std::string(env) : "/etc/kolvex/registry.reg";
}

namespace {
std::string QuoteText(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}
}  // namespace

std::string Serialize(const File& file) {
    std::string out = std::string(kHeader5) + "\n\n";
    char buf[16];
    for (const Key& k : file.keys) {
        out += "[" + std::string(kRoot) + (k.path.empty() ? "" : "\\") + k.path + "]\n";
        for (const Value& v : k.values) {
            out += v.name.empty() ? std::string("@") : QuoteText(v.name);
            out += '=';
            if (v.quoted) {
                std::string text = v.narrow;
                if (!text.empty() && text.back() == '\0') text.pop_back();
                out += QuoteText(text);
            } else if (v.type == 4 && v.narrow.size() == 4) {
                uint32_t n = 0;
                for (int b = 3; b >= 0; --b)
                    n = (n << 8) | static_cast<unsigned char>(v.narrow[static_cast<size_t>(b)]);
                std::snprintf(buf, sizeof buf, "dword:%08x", n);
                out += buf;
            } else {
                if (v.type == 3) {
                    out += "hex:";
                } else {
                    std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
                    out += buf;
                }
                const std::string& raw = IsStringType(v.type) ? v.wide : v.narrow;
                for (size_t b = 0; b < raw.size(); ++b) {
                    std::snprintf(buf, sizeof buf, b ? ",%02x" : "%02x",
                                  static_cast<unsigned char>(raw[b]));
                    out += buf;
                }
            }
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

}  // namespace regfile

namespace {

constexpr uint32_t kMagic = 0x4B524547;  // "KREG"

struct OpenKey {
    uint32_t magic = kMagic;
    bool root = false;
    std::string path;
    std::vector<regfile::Value> values;
};

OpenKey g_root{kMagic, true, std::string(), {}};

const OpenKey* AsKey(RegHandle h) {
    const OpenKey* k = static_cast<const OpenKey*>(h);
    return k != nullptr && k->magic == kMagic ? k : nullptr;
}

bool Query(RegHandle key, const char* name, void* data, uint32_t* size, uint32_t* type, bool wide) {
    const OpenKey* k = AsKey(key);
    if (k == nullptr || size == nullptr) return false;
    const std::string want = name != nullptr ? name : "";
    for (const regfile::Value& v : k->values) {
        if (!regfile::SameName(v.name, want)) continue;
        const std::string& bytes = wide ? v.wide : v.narrow;
        if (type != nullptr) *type = v.type;
        const uint32_t have = *size;
        *size = static_cast<uint32_t>(bytes.size());
        if (data == nullptr) return true;  // a size query
        if (bytes.size() > have) return false;
        if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
        return true;
    }
    return false;
}

}  // namespace

RegHandle RegRootLocalMachine() {
    return &g_root;
}

bool RegOpen(RegHandle root, const char* subKey, RegView, RegHandle* out) {
    const OpenKey* parent = AsKey(root);
    if (parent == nullptr || out == nullptr) return false;
    std::string path = regfile::NormalizePath(subKey != nullptr ? subKey : "");
    if (!parent->path.empty()) path = path.empty() ? parent->path : parent->path + "\\" + path;

    try {
        const regfile::File file = regfile::Load(regfile::FilePath());
        bool exists = path.empty();
        const regfile::Key* found = nullptr;
        for (const regfile::Key& k : file.keys) {
            if (regfile::SameName(k.path, path)) found = &k;
            if (regfile::IsSameOrBelow(k.path, path)) exists = true;
        }
        if (!exists) return false;
        OpenKey* key = new OpenKey;
        key->path = path;
        if (found != nullptr) key->values = found->values;
        *out = key;
        return true;
    } catch (...) {
        return false;  // out of memory: the key reads as missing
    }
}

void RegClose(RegHandle key) {
    OpenKey* k = static_cast<OpenKey*>(key);
    if (k == nullptr || k == &g_root || k->magic != kMagic) return;
    k->magic = 0;
    delete k;
}

bool RegQueryA(RegHandle key, const char* name, void* data, uint32_t* size, uint32_t* type) {
    return Query(key, name, data, size, type, false);
}

bool RegQueryW(RegHandle key, const char* name, void* data, uint32_t* size, uint32_t* type) {
    return Query(key, name, data, size, type, true);
}

}  // namespace qds::plat
