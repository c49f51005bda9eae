#include "platform/dynlib.h"

#include <windows.h>

#include <cstdio>

namespace qds::plat {

LibHandle LoadLib(const char* file) {
    if (file == nullptr) return nullptr;
    return reinterpret_cast<LibHandle>(LoadLibraryA(file));
}

void* GetSymbol(LibHandle handle, const char* name) {
    if (handle == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void FreeLib(LibHandle handle) {
    if (handle != nullptr) FreeLibrary(static_cast<HMODULE>(handle));
}

void* GetLoadedSymbol(const char* moduleName, const void*, const char* name) {
    if (moduleName == nullptr || name == nullptr) return nullptr;
    // The import thunks make an imported function's address our own module's, so the
    // module is found by its name; GetModuleHandle neither loads nor adds a reference.
    HMODULE module = GetModuleHandleA(moduleName);
    if (module == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}

const char* StdcallExportName(const char* name, int argBytes, char* buffer, int size) {
    if (sizeof(void*) != 4 || name == nullptr) return name;
    if (buffer == nullptr || size <= 0) return nullptr;
    const int n = std::snprintf(buffer, static_cast<size_t>(size), "_%s@%d", name, argBytes);
    return n > 0 && n < size ? buffer : nullptr;
}

const char* SharedLibPrefix() {
    return "";
}
const char* SharedLibSuffix() {
    return ".dll";
}

}  // namespace qds::plat
