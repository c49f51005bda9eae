// The framework's operations behind the five exports. Handles are checked against the set of
// open channels, so a null, stale or foreign handle does nothing; nothing throws.
//
// A handle is a cell of a table that only grows: each open gets a cell no handle has named
// before, so a closed handle can never name a later channel, even when the later channel's
// memory is the closed one's. The cell's first word is the pointer to the channel word that
// framework/Tavrix.h promises; once closed it points to a word that stays 0. A cell is one
// pointer, kept for the life of the process (a till opens its scanner a few times a day).
#include "tavrix/Api.h"

#include <atomic>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>

#include "framework/Tavrix.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "tavrix/Channel.h"
#include "tavrix/LastError.h"
#include "tavrix/Params.h"

namespace qds::tvx {

namespace {

// Both live until the process ends: channels left open at exit are not torn down from a
// static destructor, where joining their threads could deadlock the loader on Windows.
plat::CCriticalSection& ChannelsLock() {
    static auto* cs = new plat::CCriticalSection;
    return *cs;
}

// What a handle points to. Plain data: the holder reads the first word.
struct HandleCell {
    uint32_t* pWord;
};
static_assert(offsetof(HandleCell, pWord) == 0 && sizeof(HandleCell) == sizeof(void*),
              "the handle's first word is the pointer to the channel word");

// What a closed handle's first word points to. Never written.
uint32_t g_closedWord = 0;

// Every cell ever given out (a deque keeps their addresses), and the open ones' channels; both
// under ChannelsLock.
std::deque<HandleCell>& Cells() {
    static auto* cells = new std::deque<HandleCell>;
    return *cells;
}

std::map<const void*, std::shared_ptr<CChannel>>& Channels() {
    static auto* channels = new std::map<const void*, std::shared_ptr<CChannel>>;
    return *channels;
}

std::shared_ptr<CChannel> Find(TVX_HANDLE handle) {
    if (handle == nullptr) return nullptr;
    plat::CLock lock(ChannelsLock());
    auto it = Channels().find(handle);
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
    SetLastReason("unknown type \"" + Narrow(t) + "\" (COM, udp or HID)");
    return nullptr;
}

// Tells apart the two ways CChannel::Start fails: the device's (whose transport has said why)
// and the receive thread's.
class COpenWatch : public ITransport {
  public:
    explicit COpenWatch(std::unique_ptr<ITransport> inner) : m_inner(std::move(inner)) {}
    bool Open() override {
        const bool ok = m_inner->Open();
        if (ok) m_opened.store(true);
        return ok;
    }
    void Close() override { m_inner->Close(); }
    int32_t Read(uint8_t* buf, uint32_t size) override { return m_inner->Read(buf, size); }
    int32_t Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) override {
        return m_inner->Write(data, length, timeoutMs);
    }
    void Clear() override { m_inner->Clear(); }
    void Interrupt() override { m_inner->Interrupt(); }
    uint32_t OsWord() const override { return m_inner->OsWord(); }
    bool Opened() const { return m_opened.load(); }

  private:
    std::unique_ptr<ITransport> m_inner;
    std::atomic<bool> m_opened{false};
};

}  // namespace

TVX_HANDLE Open(const wchar_t* type, const wchar_t* params, int32_t) {
    try {
        if (type == nullptr) {
            SetLastReason("unknown type (null)");
            return nullptr;
        }
        return OpenTransport(MakeTransport(type, params));
    } catch (...) {
        SetLastReason("out of memory");
        return nullptr;
    }
}

TVX_HANDLE OpenTransport(std::unique_ptr<ITransport> transport, CChannel::StateObserver observer,
                         void* observerContext) {
    try {
        if (!transport) return nullptr;  // its maker said why
        auto watched = std::make_unique<COpenWatch>(std::move(transport));
        const COpenWatch* watch = watched.get();
        auto channel = std::make_shared<CChannel>(std::move(watched));
        channel->SetStateObserver(observer, observerContext);
        if (!channel->Start()) {
            // A device that could not be opened has said why; after an open, it was the thread.
            if (watch->Opened()) {
                SetLastReason(
                    "thread not started: the channel's receive thread could not be created");
            }
            return nullptr;
        }
        plat::CLock lock(ChannelsLock());
        Cells().push_back(HandleCell{channel->Head()->pWord});
        HandleCell* cell = &Cells().back();
        Channels()[cell] = channel;
        return cell;
    } catch (...) {
        SetLastReason("out of memory");
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
            if (Channels().erase(handle) == 0) return -1;  // closed meanwhile
            static_cast<HandleCell*>(handle)->pWord = &g_closedWord;
        }
        channel->Stop();
        return 0;
    } catch (...) {
        return -1;
    }
}

}  // namespace qds::tvx
