// The framework's operations behind the five exports. Handles are checked against the set of
// open channels, so a null, stale or foreign handle does nothing; nothing throws.
#include "tavrix/Api.h"

#include <map>
#include <memory>

#include "framework/Tavrix.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "tavrix/Channel.h"
#include "tavrix/Params.h"

namespace qds::tvx {

namespace {

// Both live until the process ends: channels left open at exit are not torn down from a
// static destructor, where joining their threads could deadlock the loader on Windows.
plat::CCriticalSection& ChannelsLock() {
    static auto* cs = new plat::CCriticalSection;
    return *cs;
}

std::map<ChannelHead*, std::shared_ptr<CChannel>>& Channels() {
    static auto* channels = new std::map<ChannelHead*, std::shared_ptr<CChannel>>;
    return *channels;
}

std::shared_ptr<CChannel> Find(TVX_HANDLE handle) {
    if (handle == nullptr) return nullptr;
    plat::CLock lock(ChannelsLock());
    auto it = Channels().find(static_cast<ChannelHead*>(handle));
    return it == Channels().end() ? nullptr : it->second;
}

bool TypeIs(const std::wstring& type, const char* name) {
    return plat::AsciiEqualNoCase(Narrow(type), name);
}

std::unique_ptr<ITransport> MakeTransport(const wchar_t* type, const wchar_t* params) {
    const std::wstring t = type;
    if (TypeIs(t, "COM")) return MakeSerialTransport(params);
    if (TypeIs(t, "udp")) return MakeUdpTransport(params);
    if (TypeIs(t, "HID")) return MakeHidTransport(params);
    return nullptr;
}

}  // namespace

TVX_HANDLE Open(const wchar_t* type, const wchar_t* params, int32_t) {
    try {
        if (type == nullptr) return nullptr;
        return OpenTransport(MakeTransport(type, params));
    } catch (...) {
        return nullptr;
    }
}

TVX_HANDLE OpenTransport(std::unique_ptr<ITransport> transport, CChannel::StateObserver observer,
                         void* observerContext) {
    try {
        if (!transport) return nullptr;
        auto channel = std::make_shared<CChannel>(std::move(transport));
        channel->SetStateObserver(observer, observerContext);
        if (!channel->Start()) return nullptr;
        plat::CLock lock(ChannelsLock());
        Channels()[channel->Head()] = channel;
        return channel->Head();
    } catch (...) {
        return nullptr;
    }
}

int32_t RegisterNotify(TVX_HANDLE handle, int32_t, TVX_NOTIFY callback, void* context) {
    try {
        auto channel = Find(handle);
        if (!channel) return -1;
        channel->SetNotify(callback, context);
        return 0;
    } catch (...) {
        return -1;
    }
}

int32_t RegisterStatus(TVX_HANDLE handle, TVX_STATUS_NOTIFY callback, void* context) {
    try {
        auto channel = Find(handle);
        if (!channel) return -1;
        channel->SetStatus(callback, context);
        return 0;
    } catch (...) {
        return -1;
    }
}

int32_t Write(TVX_HANDLE handle, const uint8_t* data, int32_t length, int32_t timeoutMs) {
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

int32_t Clear(TVX_HANDLE handle) {
    try {
        auto channel = Find(handle);
        if (!channel) return handle == nullptr ? 0 : -1;
        channel->Clear();
        return 0;
    } catch (...) {
        return -1;
    }
}

int32_t Close(TVX_HANDLE handle) {
    try {
        std::shared_ptr<CChannel> channel = Find(handle);
        if (!channel) return handle == nullptr ? 0 : -1;
        // The receive thread cannot wait for itself to end.
        if (channel->OnReceiveThread()) return -1;
        {
            plat::CLock lock(ChannelsLock());
            if (Channels().erase(channel->Head()) == 0) return -1;  // closed meanwhile
        }
        channel->Stop();
        return 0;
    } catch (...) {
        return -1;
    }
}

}  // namespace qds::tvx
