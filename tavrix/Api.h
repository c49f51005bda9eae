// The framework's operations, as the tvx_ exports offer them (see framework/Tavrix.h).
// Results: 0 or a count on success, -1 on failure; a null handle from Open is a failure.
// Close must not be called from the channel's own callback (it returns -1 there).
#pragma once

#include <memory>

#include "framework/Tavrix.h"
#include "framework/TavrixExt.h"
#include "tavrix/Channel.h"
#include "tavrix/Transport.h"

namespace qds::tvx {

TVX_HANDLE Open(const wchar_t* type, const wchar_t* params, int32_t flag);
int32_t RegisterNotify(TVX_HANDLE handle, int32_t reserved, TVX_NOTIFY callback, void* context);
int32_t Write(TVX_HANDLE handle, const uint8_t* data, int32_t length, int32_t timeoutMs);
int32_t Clear(TVX_HANDLE handle);
int32_t Close(TVX_HANDLE handle);
// tvx_register_status: 0, or -1 for a null or unknown handle.
int32_t RegisterStatus(TVX_HANDLE handle, TVX_STATUS_NOTIFY callback, void* context);

// Open with a transport made by the caller (tests and tools), with an optional observer of
// the device going away and coming back.
TVX_HANDLE OpenTransport(std::unique_ptr<ITransport> transport,
                         CChannel::StateObserver observer = nullptr,
                         void* observerContext = nullptr);

}  // namespace qds::tvx
