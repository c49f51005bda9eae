// One open channel of the framework: a transport, its receive thread and the callback.
//
// The handle given out by tvx_open is the address of m_head: its first pointer-sized word
// points to the 32-bit channel word, which holds the transport's OS handle (the file
// descriptor on POSIX, the HANDLE or SOCKET value on Windows, 0 for a plug-in device or while
// the device is away). An add-on library may use it to drive the port's modem-control lines.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "framework/Tavrix.h"
#include "framework/TavrixExt.h"
#include "platform/sync.h"
#include "tavrix/Transport.h"

namespace qds::tvx {

class CChannel;

// The part of a channel that its handle shows. Plain data, first member first.
struct ChannelHead {
    uint32_t* pWord;
    CChannel* channel;
};

class CChannel {
  public:
    explicit CChannel(std::unique_ptr<ITransport> transport);
    ~CChannel();  // stops the receive thread
    CChannel(const CChannel&) = delete;
    CChannel& operator=(const CChannel&) = delete;

    // Opens the transport and starts the receive thread. False when the device cannot be
    // opened now.
    bool Start();
    // Ends the receive thread; no callback runs after this returns. Not from the callback.
    void Stop();
    bool OnReceiveThread() const;

    // The callback may be replaced at any time; the old one has finished when this returns
    // (unless called from the callback itself).
    void SetNotify(TVX_NOTIFY callback, void* context);
    // The status callback (TVX_STATUS_LOST / TVX_STATUS_BACK), under the same rules as the
    // receive callback and serialised with it; null removes it.
    void SetStatus(TVX_STATUS_NOTIFY callback, void* context);
    // Length written, or -1 (also at once while the device is away).
    int32_t Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs);
    void Clear();

    ChannelHead* Head() { return &m_head; }
    uint32_t Word() const { return m_word.load(); }
    bool DeviceOpen() const { return m_open.load(); }

    // Called on the receive thread each time the device goes away (false) or is back (true).
    // Set before Start; for tests and diagnostics.
    using StateObserver = void (*)(bool open, void* context);
    void SetStateObserver(StateObserver observer, void* context) {
        m_observer = observer;
        m_observerContext = context;
    }

    // Time between reopen attempts while the device is away.
    static constexpr uint32_t kRetryMs = 1000;
    // A device that fails within kStableMs of opening waits before its reopen: kRetryMs,
    // doubling with each such failure up to kRetryMaxMs; one that stayed up longer is reopened
    // at once and the pause starts again from kRetryMs.
    static constexpr uint32_t kStableMs = 1000;
    static constexpr uint32_t kRetryMaxMs = 4000;

  private:
    static uint32_t ReceiveThread(void* self);
    void ReceiveLoop();
    void Deliver(const uint8_t* data, int32_t length);
    void DeviceLost();
    void NotifyStatus(int32_t status);
    bool TryReopen();

    ChannelHead m_head;
    std::atomic<uint32_t> m_word{0};
    std::unique_ptr<ITransport> m_transport;
    // Transport open/close against Write and Clear, unless the transport guards itself.
    plat::CCriticalSection m_csIo;
    plat::CCriticalSection m_csNotify;  // callback and context; held while the callback runs
    TVX_NOTIFY m_callback = nullptr;
    void* m_context = nullptr;
    TVX_STATUS_NOTIFY m_status = nullptr;  // under m_csNotify too
    void* m_statusContext = nullptr;
    std::atomic<bool> m_open{false};
    std::atomic<bool> m_stop{false};
    std::atomic<uint32_t> m_threadId{0};
    plat::CEvent m_stopEvent{true, false};
    plat::CThread m_thread;
    StateObserver m_observer = nullptr;
    void* m_observerContext = nullptr;
};

static_assert(sizeof(std::atomic<uint32_t>) == 4 && std::atomic<uint32_t>::is_always_lock_free,
              "the channel word is read as a plain 32-bit word");
// What a handle's holder may read: the handle's first pointer-sized word (4 bytes on i686)
// points to the channel word.
static_assert(std::is_standard_layout_v<ChannelHead> && offsetof(ChannelHead, pWord) == 0 &&
                  sizeof(ChannelHead::pWord) == sizeof(void*) &&
                  sizeof(ChannelHead::pWord) == sizeof(TVX_HANDLE),
              "the handle's first word is the pointer to the channel word");

}  // namespace qds::tvx
