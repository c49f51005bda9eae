#include "platform/registry_testing.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/posix/RegFile.h"

namespace qds::plat::testing {

namespace {

bool Save(const regfile::File& f) {
    const std::string path = regfile::FilePath();
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << regfile::Serialize(f);
        if (!out.flush()) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;  // readers never see half a file
}

bool Set(const char* subKey, regfile::Value v) {
    if (subKey == nullptr) return false;
    regfile::File f = regfile::Load(regfile::FilePath());
    regfile::SetValue(regfile::FindOrAddKey(f, regfile::NormalizePath(subKey)), std::move(v));
    return Save(f);
}

std::string ProcessFile() {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir + "kolvex_registry_" + std::to_string(getpid()) + ".reg";
}

}  // namespace

bool RegSetString(RegView, const char* subKey, const char* name, const std::string& value) {
    return name != nullptr && Set(subKey, regfile::MakeString(name, value));
}

bool RegSetDword(RegView, const char* subKey, const char* name, uint32_t value) {
    return name != nullptr && Set(subKey, regfile::MakeDword(name, value));
}

bool RegDeleteValue(RegView, const char* subKey, const char* name) {
    if (subKey == nullptr || name == nullptr) return false;
    regfile::File f = regfile::Load(regfile::FilePath());
    regfile::Key* k = regfile::FindKey(f, regfile::NormalizePath(subKey));
    if (k == nullptr || !regfile::RemoveValue(*k, name)) return true;
    return Save(f);
}

bool RegDeleteKey(RegView, const char* subKey) {
    if (subKey == nullptr) return false;
    regfile::File f = regfile::Load(regfile::FilePath());
    if (!regfile::RemoveKeyTree(f, regfile::NormalizePath(subKey))) return true;
    return Save(f);
}

CScopedRegistry::CScopedRegistry(std::vector<KeyRef> keysToClear) : m_keys(std::move(keysToClear)) {
    const std::string mine = ProcessFile();
    const char* now = std::getenv("KOLVEX_REGISTRY");
    if (now == nullptr || mine != now) setenv("KOLVEX_REGISTRY", mine.c_str(), 1);
    Save(regfile::File{});
}

CScopedRegistry::~CScopedRegistry() {
    std::remove(regfile::FilePath().c_str());
}

std::string CScopedRegistry::BackingFile() {
    return regfile::FilePath();
}

}  // namespace qds::plat::testing
