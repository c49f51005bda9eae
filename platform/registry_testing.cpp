// The parts of CScopedRegistry that both systems share: what it writes, it remembers, so
// that the keys are deleted when it goes.
#include "platform/registry_testing.h"

namespace qds::plat::testing {

bool CScopedRegistry::SetString(RegView view, const char* subKey, const char* name,
                                const std::string& value) {
    if (subKey != nullptr) m_keys.push_back({view, subKey});
    return RegSetString(view, subKey, name, value);
}

bool CScopedRegistry::SetDword(RegView view, const char* subKey, const char* name, uint32_t value) {
    if (subKey != nullptr) m_keys.push_back({view, subKey});
    return RegSetDword(view, subKey, name, value);
}

bool CScopedRegistry::DeleteValue(RegView view, const char* subKey, const char* name) {
    return RegDeleteValue(view, subKey, name);
}

bool CScopedRegistry::DeleteKey(RegView view, const char* subKey) {
    return RegDeleteKey(view, subKey);
}

}  // namespace qds::plat::testing
