#include "platform/registry_testing.h"

#include <windows.h>

// windows.h makes these names macros for its own A/W functions; here they name ours.
#undef RegDeleteKey
#undef RegDeleteValue

namespace qds::plat::testing {

namespace {

REGSAM ViewFlag(RegView view) {
    return view == RegView::View32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

bool Set(RegView view, const char* subKey, const char* name, DWORD type, const void* data,
         DWORD size) {
    if (subKey == nullptr || name == nullptr) return false;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_WRITE | ViewFlag(view),
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

}  // namespace

bool RegSetString(RegView view, const char* subKey, const char* name, const std::string& value) {
    return Set(view, subKey, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

bool RegSetDword(RegView view, const char* subKey, const char* name, uint32_t value) {
    const DWORD v = value;
    return Set(view, subKey, name, REG_DWORD, &v, sizeof v);
}

bool RegDeleteValue(RegView view, const char* subKey, const char* name) {
    if (subKey == nullptr || name == nullptr) return false;
    HKEY key = nullptr;
    const LONG rc =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_SET_VALUE | ViewFlag(view), &key);
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return false;
    const LONG del = RegDeleteValueA(key, name);
    RegCloseKey(key);
    return del == ERROR_SUCCESS || del == ERROR_FILE_NOT_FOUND;
}

bool RegDeleteKey(RegView view, const char* subKey) {
    if (subKey == nullptr) return false;
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_ALL_ACCESS | ViewFlag(view), &key);
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return false;
    rc = RegDeleteTreeA(key, nullptr);  // everything below
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return false;
    rc = RegDeleteKeyExA(HKEY_LOCAL_MACHINE, subKey, ViewFlag(view), 0);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

CScopedRegistry::CScopedRegistry(std::vector<KeyRef> keysToClear) : m_keys(std::move(keysToClear)) {
    for (const KeyRef& k : m_keys) RegDeleteKey(k.view, k.subKey.c_str());
}

CScopedRegistry::~CScopedRegistry() {
    for (const KeyRef& k : m_keys) RegDeleteKey(k.view, k.subKey.c_str());
}

std::string CScopedRegistry::BackingFile() {
    return std::string();
}

}  // namespace qds::plat::testing
