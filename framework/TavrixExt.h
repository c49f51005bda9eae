// What our framework offers beyond the five functions of the contract.
//
// A host that must also work with a framework offering only those five never links against
// these: it looks them up at run time in the already-loaded framework module (the names
// below, stdcall-decorated on i686: _tvx_last_error@8, _tvx_register_status@12) and uses
// them only where present.
#pragma once

#include <cstdint>

#include "framework/Tavrix.h"

extern "C" {

// Connection states reported to a status callback.
enum : int32_t {
    TVX_STATUS_LOST = 0,  // the device went away; the channel keeps trying to reopen it
    TVX_STATUS_BACK = 1,  // the device is open again and input flows
};

// Runs on a framework thread, serialised with the channel's receive callback; never runs
// after tvx_close (or a registration of null) has returned.
typedef void(KX_STDCALL* TVX_STATUS_NOTIFY)(int32_t status, void* context);

// Copies the calling thread's last failure reason of a framework call (UTF-8, what was
// tried and what the OS answered) into buffer, truncated and always NUL-terminated when
// size > 0. Returns the reason's full length in bytes, 0 when the thread has none.
TVX_API int32_t KX_STDCALL tvx_last_error(char* buffer, int32_t size);

// Registers (or, with a null callback, removes) the channel's status callback.
// Returns 0, or -1 for a null or unknown handle.
TVX_API int32_t KX_STDCALL tvx_register_status(TVX_HANDLE handle, TVX_STATUS_NOTIFY callback,
                                               void* context);

// Names a host looks up.
#define TVX_LAST_ERROR_NAME "tvx_last_error"
#define TVX_REGISTER_STATUS_NAME "tvx_register_status"

}  // extern "C"
