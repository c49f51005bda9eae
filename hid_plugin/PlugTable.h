// The plug-in's table functions. The export GetPlugDllFuns (Vantrel.cpp) fills a table with
// them through FillPlugDllFuns; tests call them directly.
#pragma once

#include "framework/PlugDllFuns.h"

extern "C" {
int32_t KX_CDECL PlugGetDesc(wchar_t* buffer, uint32_t size);
void* KX_CDECL PlugOpen(const wchar_t* params);
int32_t KX_CDECL PlugClose(void* handle);
int32_t KX_CDECL PlugGetStatus(void* handle);
int32_t KX_CDECL PlugRead(void* handle, uint8_t* buffer, uint32_t length, uint32_t timeoutMs);
int32_t KX_CDECL PlugWrite(void* handle, const uint8_t* data, uint32_t length);
int32_t KX_CDECL PlugClear(void* handle);
int32_t KX_CDECL PlugReserved(void);
// In slot 9: the device a lost handle had, opened again (see PlugReopenFn).
int32_t KX_CDECL PlugReopen(void* lost, void** reopened);
}

namespace qds::hid {

// What GetPlugDllFuns does: -1 for a null table, else all 13 slots written and 0.
int32_t FillPlugDllFuns(PlugDllFuns* table);

}  // namespace qds::hid
