// Loading shared libraries at run time (LoadLibraryA / dlopen).
#pragma once

namespace qds::plat {

using LibHandle = void*;

// file is passed to the OS unchanged. Null on failure.
LibHandle LoadLib(const char* file);
// Null when handle or name is null, or the library has no such export.
void* GetSymbol(LibHandle handle, const char* name);
void FreeLib(LibHandle handle);

// An export of a module that is already loaded, found without loading anything or keeping a
// reference: the module named moduleName (Windows: "Name.dll") or, where the OS can tell, the
// one that contains knownExport (Linux: dladdr; otherwise the process's global scope). Used to
// find optional exports of a library we link against. Null when there is no such export.
void* GetLoadedSymbol(const char* moduleName, const void* knownExport, const char* name);

// The name under which a stdcall function taking argBytes bytes of arguments is exported:
// "_name@argBytes" by 32-bit Windows DLLs, name unchanged elsewhere.
const char* StdcallExportName(const char* name, int argBytes, char* buffer, int size);

// Platform file name of a library built by this project: "Name.dll" or "libName.so".
const char* SharedLibPrefix();
const char* SharedLibSuffix();

}  // namespace qds::plat
