#include "platform/dynlib.h"

#include <windows.h>

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

const char* SharedLibPrefix() {
    return "";
}
const char* SharedLibSuffix() {
    return ".dll";
}

}  // namespace qds::plat
