// The five exports. Handles are checked against the set of open channels, so a null, stale
// or foreign handle does nothing; no exception leaves an export.
#include <map>
#include <memory>

#include "framework/Tavrix.h"
#include "platform/sync.h"
#include "tavrix/Channel.h"
#include "tavrix/Params.h"

namespace qds::tvx {

namespace {

plat::CCriticalSection& ChannelsLock() {
    static plat::CCriticalSection cs;
    return cs;
}

std::map<ChannelHead*, std::shared_ptr<CChannel>>& Channels() {
    static std::map<ChannelHead*, std::shared_ptr<CChannel>> channels;
    return channels;
}

std::shared_ptr<CChannel> Find(TVX_HANDLE handle) {
    if (handle == nullptr) return nullptr;
    plat::CLock lock(ChannelsLock());
    auto it = Channels().find(static_cast<ChannelHead*>(handle));
    return it == Channels().end() ? nullptr : it->second;
}

bool TypeIs(const std::wstring& type, const char* name) {
    const std::string t = Narrow(type);
    size_t i = 0;
    for (; name[i] != '\0'; ++i) {
        if (i >= t.size()) return false;
        char a = t[i], b = name[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
        if (a != b) return false;
    }
    return i == t.size();
}

std::unique_ptr<ITransport> MakeTransport(const wchar_t* type, const wchar_t* params) {
    const std::wstring t = type;
    if (TypeIs(t, "COM")) return MakeSerialTransport(params);
    if (TypeIs(t, "udp")) return MakeUdpTransport(params);
    if (TypeIs(t, "HID")) return MakeHidTransport(params);
    return nullptr;
}

}  // namespace

}  // namespace qds::tvx

using namespace qds::tvx;

extern "C" {

TVX_API TVX_HANDLE KX_STDCALL tvx_open(const wchar_t* type, const wchar_t* params, int32_t) {
    try {
        if (type == nullptr) return nullptr;
        std::unique_ptr<ITransport> transport = MakeTransport(type, params);
        if (!transport) return nullptr;
        auto channel = std::make_shared<CChannel>(std::move(transport));
        if (!channel->Start()) return nullptr;
        qds::plat::CLock lock(ChannelsLock());
        Channels()[channel->Head()] = channel;
        return channel->Head();
    } catch (...) {
        return nullptr;
    }
}

TVX_API int32_t KX_STDCALL tvx_register_notify(TVX_HANDLE handle, int32_t, TVX_NOTIFY callback,
                                               void* context) {
    try {
        auto channel = Find(handle);
        if (!channel) return -1;
        channel->SetNotify(callback, context);
        return 0;
    } catch (...) {
        return -1;
    }
}

TVX_API int32_t KX_STDCALL tvx_write(TVX_HANDLE handle, const uint8_t* data, int32_t length,
                                     int32_t timeoutMs) {
    try {
        if (length < 0 || (data == nullptr && length > 0)) return -1;
        auto channel = Find(handle);
        if (!channel) return -1;
        if (length == 0) return 0;
        return channel->Write(data, static_cast<uint32_t>(length),
                              timeoutMs < 0 ? 0u : static_cast<uint32_t>(timeoutMs));
    } catch (...) {
        return -1;
    }
}

TVX_API int32_t KX_STDCALL tvx_clear(TVX_HANDLE handle) {
    try {
        auto channel = Find(handle);
        if (!channel) return handle == nullptr ? 0 : -1;
        channel->Clear();
        return 0;
    } catch (...) {
        return -1;
    }
}

TVX_API int32_t KX_STDCALL tvx_close(TVX_HANDLE handle) {
    try {
        std::shared_ptr<CChannel> channel = Find(handle);
        if (!channel) return handle == nullptr ? 0 : -1;
        // The receive thread cannot wait for itself to end.
        if (channel->OnReceiveThread()) return -1;
        {
            qds::plat::CLock lock(ChannelsLock());
            if (Channels().erase(channel->Head()) == 0) return -1;  // closed meanwhile
        }
        channel->Stop();
        return 0;
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
