// Read-only access to the configuration registry.
//
// Win32: the real registry. POSIX: a text file in the Windows .reg export format, named by
// the environment variable KOLVEX_REGISTRY (default /etc/kolvex/registry.reg), re-read at
// every RegOpen. Values behave as Windows gives them: a query copies the value's bytes
// (8-bit text with its NUL for the 8-bit call, UTF-16LE with its NUL for the wide call, a
// dword as 4 little-endian bytes) and succeeds only when they fit the caller's buffer.
#pragma once

#include <cstdint>

namespace qds::plat {

using RegHandle = void*;

enum class RegView { View32, View64 };

// The only root this system reads.
RegHandle RegRootLocalMachine();

// Opens root\subKey for reading in the given view. Returns false when it cannot.
bool RegOpen(RegHandle root, const char* subKey, RegView view, RegHandle* out);
void RegClose(RegHandle key);

// On entry *size is the buffer's size in bytes; on success it becomes the data's size.
// type, when not null, receives the Win32 value type number (1 REG_SZ, 4 REG_DWORD, ...).
bool RegQueryA(RegHandle key, const char* name, void* data, uint32_t* size, uint32_t* type);
bool RegQueryW(RegHandle key, const char* name, void* data, uint32_t* size, uint32_t* type);

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegDword = 4;

}  // namespace qds::plat
