// Loading shared libraries at run time (LoadLibraryA / dlopen).
#pragma once

namespace qds::plat {

using LibHandle = void*;

// file is passed to the OS unchanged. Null on failure.
LibHandle LoadLib(const char* file);
// Null when handle or name is null, or the library has no such export.
void* GetSymbol(LibHandle handle, const char* name);
void FreeLib(LibHandle handle);

// Platform file name of a library built by this project: "Name.dll" or "libName.so".
const char* SharedLibPrefix();
const char* SharedLibSuffix();

}  // namespace qds::plat
