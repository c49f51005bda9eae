#include "platform/dynlib.h"

#include <dlfcn.h>

namespace qds::plat {

LibHandle LoadLib(const char* file) {
    if (file == nullptr) return nullptr;
    return dlopen(file, RTLD_NOW | RTLD_LOCAL);
}

void* GetSymbol(LibHandle handle, const char* name) {
    if (handle == nullptr || name == nullptr) return nullptr;
    return dlsym(handle, name);
}

void FreeLib(LibHandle handle) {
    if (handle != nullptr) dlclose(handle);
}

const char* SharedLibPrefix() {
    return "lib";
}
const char* SharedLibSuffix() {
    return ".so";
}

}  // namespace qds::plat
