// The in-memory form of a .reg file (Windows registry export format), shared by the
// registry reader and the test writer. POSIX only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qds::plat::regfile {

struct Value {
    std::string name;     // as written ("" for the default value "@")
    uint32_t type = 0;    // Win32 value type number
    bool quoted = false;  // written as "text" (type 1)
    std::string narrow;   // bytes the 8-bit query returns
    std::string wide;     // bytes the wide query returns
};

struct Key {
    std::string path;  // below HKEY_LOCAL_MACHINE, without leading or trailing backslash
    std::vector<Value> values;
};

struct File {
    std::vector<Key> keys;  // in file order; each path once
};

// The file named by KOLVEX_REGISTRY, else /etc/kolvex/registry.reg.
std::string FilePath();

// Parses .reg text. A missing header yields no keys; a malformed line is skipped along with
// whatever it would have held (a malformed key line hides the values below it).
File Parse(const std::string& text);
// Reads and parses the file; a missing or unreadable file yields no keys.
File Load(const std::string& path);

// Writes the file in the "Windows Registry Editor Version 5.00" form.
std::string Serialize(const File& file);

// Case-insensitive comparison of key paths and value names, as Windows does it (ASCII).
bool SameName(const std::string& a, const std::string& b);
// Strips leading and trailing backslashes.
std::string NormalizePath(const std::string& path);

Key* FindKey(File& f, const std::string& path);
Key& FindOrAddKey(File& f, const std::string& path);
// Removes the key and every key below it; false when there was none.
bool RemoveKeyTree(File& f, const std::string& path);
// Adds the value or replaces the one of the same name.
void SetValue(Key& key, Value v);
bool RemoveValue(Key& key, const std::string& name);
// path is top or a key below it (top "" is the root, above everything).
bool IsSameOrBelow(const std::string& path, const std::string& top);

// Builders for the two value forms tests write.
Value MakeString(const std::string& name, const std::string& text);
Value MakeDword(const std::string& name, uint32_t value);

}  // namespace qds::plat::regfile
