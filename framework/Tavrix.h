// The communication framework's interface as Kolvex and its add-on hook use it.
//
// A channel handle is opaque except for one promise: its first pointer-sized word points to
// a 32-bit channel word (the transport's OS handle), which the add-on hook passes on.
// tvx_clear and tvx_close accept a null handle and then do nothing. The receive callback
// runs on a framework thread; calls of it are serialised per channel and none runs after
// tvx_close has returned.
#pragma once

#include <cstdint>

#include "platform/export.h"

#if defined(TAVRIX_BUILD)
#define TVX_API KX_EXPORT
#else
#define TVX_API  // plain declarations: callers link through the import library
#endif

extern "C" {

typedef void* TVX_HANDLE;

// Receives bytes lent for the duration of the call.
typedef void(KX_STDCALL* TVX_NOTIFY)(const uint8_t* data, int32_t length, void* context);

// type: "COM", "udp" or "HID"; params may be null; flag is 1. Null on failure.
TVX_API TVX_HANDLE KX_STDCALL tvx_open(const wchar_t* type, const wchar_t* params, int32_t flag);
TVX_API int32_t KX_STDCALL tvx_register_notify(TVX_HANDLE handle, int32_t reserved,
                                               TVX_NOTIFY callback, void* context);
TVX_API int32_t KX_STDCALL tvx_write(TVX_HANDLE handle, const uint8_t* data, int32_t length,
                                     int32_t timeoutMs);
TVX_API int32_t KX_STDCALL tvx_clear(TVX_HANDLE handle);
TVX_API int32_t KX_STDCALL tvx_close(TVX_HANDLE handle);

}  // extern "C"
