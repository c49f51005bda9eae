// The five exports, and our extras: thin wrappers over the operations in Api.cpp.
#include "framework/Tavrix.h"
#include "framework/TavrixExt.h"
#include "tavrix/Api.h"
#include "tavrix/LastError.h"

extern "C" {

TVX_API TVX_HANDLE KX_STDCALL tvx_open(const wchar_t* type, const wchar_t* params, int32_t flag) {
    return qds::tvx::Open(type, params, flag);
}

TVX_API int32_t KX_STDCALL tvx_register_notify(TVX_HANDLE handle, int32_t reserved,
                                               TVX_NOTIFY callback, void* context) {
    return qds::tvx::RegisterNotify(handle, reserved, callback, context);
}

TVX_API int32_t KX_STDCALL tvx_write(TVX_HANDLE handle, const uint8_t* data, int32_t length,
                                     int32_t timeoutMs) {
    return qds::tvx::Write(handle, data, length, timeoutMs);
}

TVX_API int32_t KX_STDCALL tvx_clear(TVX_HANDLE handle) {
    return qds::tvx::Clear(handle);
}

TVX_API int32_t KX_STDCALL tvx_close(TVX_HANDLE handle) {
    return qds::tvx::Close(handle);
}

TVX_API int32_t KX_STDCALL tvx_last_error(char* buffer, int32_t size) {
    return qds::tvx::CopyLastReason(buffer, size);
}

TVX_API int32_t KX_STDCALL tvx_register_status(TVX_HANDLE handle, TVX_STATUS_NOTIFY callback,
                                               void* context) {
    return qds::tvx::RegisterStatus(handle, callback, context);
}

}  // extern "C"
