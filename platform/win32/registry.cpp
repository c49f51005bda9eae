// Placeholder until the registry reader lands: every key is missing.
#include "platform/registry.h"

namespace qds::plat {

RegHandle RegRootLocalMachine() { return reinterpret_cast<RegHandle>(static_cast<uintptr_t>(1)); }
bool RegOpen(RegHandle, const char*, RegView, RegHandle*) { return false; }
void RegClose(RegHandle) {}
bool RegQueryA(RegHandle, const char*, void*, uint32_t*, uint32_t*) { return false; }
bool RegQueryW(RegHandle, const char*, void*, uint32_t*, uint32_t*) { return false; }

}  // namespace qds::plat
