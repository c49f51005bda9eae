// The real registry. Handles are HKEYs.
#include "platform/registry.h"

#include <windows.h>

#include <string>

namespace qds::plat {

namespace {

HKEY AsHkey(RegHandle h) {
    return static_cast<HKEY>(h);
}

std::wstring WideName(const char* name) {
    if (name == nullptr || *name == '\0') return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name, -1, &w[0], n);
    w.resize(static_cast<size_t>(n - 1));
    return w;
}

}  // namespace

RegHandle RegRootLocalMachine() {
    return static_cast<RegHandle>(HKEY_LOCAL_MACHINE);
}

bool RegOpen(RegHandle root, const char* subKey, RegView view, RegHandle* out) {
    if (root == nullptr || out == nullptr) return false;
    const REGSAM sam = KEY_READ | (view == RegView::View32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
    HKEY key = nullptr;
    if (RegOpenKeyExA(AsHkey(root), subKey, 0, sam, &key) != ERROR_SUCCESS) return false;
    *out = static_cast<RegHandle>(key);
    return true;
}

void RegClose(RegHandle key) {
    if (key != nullptr) RegCloseKey(AsHkey(key));
}

bool RegQueryA(RegHandle key, const char* name, void* data, uint32_t* size, uint32_t* type) {
    if (key == nullptr || size == nullptr) return false;
    DWORD t = 0;
    DWORD n = *size;
    const LONG rc = RegQueryValueExA(AsHkey(key), name, nullptr, &t, static_cast<BYTE*>(data), &n);
    *size = n;
    if (type != nullptr) *type = t;
    return rc == ERROR_SUCCESS;
}

bool RegQueryW(RegHandle key, const char* name, void* data, uint32_t* size, uint32_t* type) {
    if (key == nullptr || size == nullptr) return false;
    const std::wstring wname = WideName(name);
    DWORD t = 0;
    DWORD n = *size;
    const LONG rc = RegQueryValueExW(AsHkey(key), name != nullptr ? wname.c_str() : nullptr,
                                     nullptr, &t, static_cast<BYTE*>(data), &n);
    *size = n;
    if (type != nullptr) *type = t;
    return rc == ERROR_SUCCESS;
}

}  // namespace qds::plat
