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

void* GetLoadedSymbol(const char*, const void* knownExport, const char* name) {
    if (name == nullptr) return nullptr;
    Dl_info info{};
    if (knownExport != nullptr && dladdr(knownExport, &info) != 0 && info.dli_fname != nullptr) {
        // RTLD_NOLOAD: a handle only to the module already in the process, never a new load.
        if (void* handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD)) {
            void* sym = dlsym(handle, name);
            dlclose(handle);  // drops our reference only; the module stays loaded
            return sym;
        }
    }
    return dlsym(RTLD_DEFAULT, name);
}

const char* StdcallExportName(const char* name, int, char*, int) {
    return name;
}

const char* SharedLibPrefix() {
    return "lib";
}
const char* SharedLibSuffix() {
    return ".so";
}

}  // namespace qds::plat
