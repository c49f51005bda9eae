// The function table of a transport plug-in: the framework's contract, which the framework
// (Tavrix) calls and each plug-in (Vantrel) implements. The plug-in's one export,
// GetPlugDllFuns, fills a table the caller owns.
//
// Every function uses the C calling convention, so the caller removes the arguments; that is
// what lets PlugReserved sit in any slot. The table is 13 pointer-sized slots and slot 0 holds
// its size in bytes: 52 on 32-bit targets, 104 on 64-bit ones.
//
// Thread rules: PlugOpen may be called from any thread at any time. Read, write, clear and
// status on one handle may run on different threads at once; PlugClose must be the last call
// on a handle, with no other call on it still running.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "platform/export.h"

#ifdef __cplusplus
extern "C" {
#endif

// Result codes of the table functions.
enum {
    PLUG_OK = 0,
    PLUG_E_ARGUMENT = -1,    // a null pointer, or a size or length of 0
    PLUG_E_BUFFER = -2,      // the caller's buffer is too small
    PLUG_E_CLOSED = -11,     // the device has closed
    PLUG_E_TRANSFER = -100,  // a transfer failed and the device has been shut down
    PLUG_STATUS_CLOSED = 1,  // PlugGetStatus: the device has closed
    PLUG_STATUS_OPEN = 2     // PlugGetStatus: the device is open
};

// Time-out value of PlugRead that waits with no limit.
#define PLUG_INFINITE 0xFFFFFFFFu

typedef int32_t(KX_CDECL* PlugGetDescFn)(wchar_t* buffer, uint32_t size);
typedef void*(KX_CDECL* PlugOpenFn)(const wchar_t* params);
typedef int32_t(KX_CDECL* PlugCloseFn)(void* handle);
typedef int32_t(KX_CDECL* PlugGetStatusFn)(void* handle);
typedef int32_t(KX_CDECL* PlugReadFn)(void* handle, uint8_t* buffer, uint32_t length,
                                      uint32_t timeoutMs);
typedef int32_t(KX_CDECL* PlugWriteFn)(void* handle, const uint8_t* data, uint32_t length);
typedef int32_t(KX_CDECL* PlugClearFn)(void* handle);
// Ignores whatever arguments it is given and returns 0.
typedef int32_t(KX_CDECL* PlugReservedFn)(void);

// Slot 9 (PlugReserved9), where a plug-in offers it: opens again the very device that the
// handle `lost` had open (the handle stays the caller's to close). Returns PLUG_REOPEN_DONE
// with *reopened set to the new handle, or to null while that device is not there. A plug-in
// with PlugReserved in the slot returns 0: the caller then opens by the parameter string.
typedef int32_t(KX_CDECL* PlugReopenFn)(void* lost, void** reopened);
#define PLUG_REOPEN_DONE 1

typedef struct PlugDllFuns {
    uintptr_t size;  // output: sizeof(PlugDllFuns)
    PlugGetDescFn PlugGetDesc;
    PlugOpenFn PlugOpen;
    PlugCloseFn PlugClose;
    PlugReservedFn PlugReserved4;
    PlugGetStatusFn PlugGetStatus;
    PlugReadFn PlugRead;
    PlugWriteFn PlugWrite;
    PlugClearFn PlugClear;
    PlugReservedFn PlugReserved9;
    PlugReservedFn PlugReserved10;
    PlugReservedFn PlugReserved11;
    PlugReservedFn PlugReserved12;
} PlugDllFuns;

// The export: fills all 13 slots (without reading the table first) and returns 0; -1 for a
// null table.
typedef int32_t(KX_CDECL* GetPlugDllFunsFn)(PlugDllFuns* table);
#define PLUG_DLL_FUNS_EXPORT "GetPlugDllFuns"

#ifdef __cplusplus
}  // extern "C"

// The layout both sides rely on: 13 consecutive pointer-sized words, the size first. On a
// 32-bit target (i686) that is 13 words of 4 bytes, 52 in all.
static_assert(sizeof(uintptr_t) == sizeof(void*) && sizeof(PlugGetDescFn) == sizeof(void*),
              "every slot is one pointer-sized word");
static_assert(sizeof(PlugDllFuns) == 13 * sizeof(void*), "13 pointer-sized slots");
static_assert(sizeof(void*) != 4 || sizeof(PlugDllFuns) == 52, "52 bytes on 32-bit targets");
static_assert(offsetof(PlugDllFuns, size) == 0 * sizeof(void*) &&
                  offsetof(PlugDllFuns, PlugGetDesc) == 1 * sizeof(void*) &&
                  offsetof(PlugDllFuns, PlugOpen) == 2 * sizeof(void*) &&
                  offsetof(PlugDllFuns, PlugClose) == 3 * sizeof(void*) &&
                  offsetof(PlugDllFuns, PlugReserved4) == 4 * sizeof(void*) &&
                  offsetof(PlugDllFuns, PlugGetStatus) == 5 * sizeof(void*) &&
                  offsetof(PlugDllFuns, PlugRead) == 6 * sizeof(void*) &&
                  offsetof(PlugDllFuns, PlugWrite) == 7 * sizeof(void*) &&
                  offsetof(PlugDllFuns, PlugClear) == 8 * sizeof(void*) &&
                  offsetof(PlugDllFuns, PlugReserved9) == 9 * sizeof(void*) &&
                  offsetof(PlugDllFuns, PlugReserved10) == 10 * sizeof(void*) &&
                  offsetof(PlugDllFuns, PlugReserved11) == 11 * sizeof(void*) &&
                  offsetof(PlugDllFuns, PlugReserved12) == 12 * sizeof(void*),
              "each function in its word");
#endif
