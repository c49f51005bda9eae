// Test-only registry writer (library kolvex_platform_testing; never linked into products).
//
// Win32: the real registry under HKEY_LOCAL_MACHINE, in the view asked for. POSIX: the .reg
// file that the reader uses (KOLVEX_REGISTRY), edited in place; both views are that file.
// Sub-key paths are below HKEY_LOCAL_MACHINE, e.g. "SOFTWARE\\ScannerConfig\\JposScanner".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace qds::plat::testing {

// Creates the key when it is missing. All return false when the change could not be made.
bool RegSetString(RegView view, const char* subKey, const char* name, const std::string& value);
bool RegSetDword(RegView view, const char* subKey, const char* name, uint32_t value);
// Deleting what is not there succeeds.
bool RegDeleteValue(RegView view, const char* subKey, const char* name);
// Deletes the key with everything below it.
bool RegDeleteKey(RegView view, const char* subKey);

// A registry of the test's own for its lifetime. On POSIX the process's KOLVEX_REGISTRY is
// pointed at a fresh file (set once per process, before any thread reads it) that starts
// empty; on Win32 the given keys are deleted, so that leftovers of an earlier run do not
// count. When destroyed it deletes the given keys and every key written through it.
class CScopedRegistry {
  public:
    struct KeyRef {
        RegView view;
        std::string subKey;
    };
    explicit CScopedRegistry(std::vector<KeyRef> keysToClear = {});
    ~CScopedRegistry();
    CScopedRegistry(const CScopedRegistry&) = delete;
    CScopedRegistry& operator=(const CScopedRegistry&) = delete;

    bool SetString(RegView view, const char* subKey, const char* name, const std::string& value);
    bool SetDword(RegView view, const char* subKey, const char* name, uint32_t value);
    bool DeleteValue(RegView view, const char* subKey, const char* name);
    bool DeleteKey(RegView view, const char* subKey);

    // POSIX: the .reg file in use, which a test may overwrite with text of its own.
    // Win32: "".
    static std::string BackingFile();

  private:
    std::vector<KeyRef> m_keys;
};

}  // namespace qds::plat::testing
