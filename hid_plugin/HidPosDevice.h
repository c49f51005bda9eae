// One open HID-POS scanner: its reader thread, its 2 MiB receive ring, reads with a time-out
// and writes cut into 64-byte output reports.
//
// Thread rules: the reader thread is the ring's only producer; ReadWithTimeout and Clear
// consume. Reads, writes, clears and status queries may run on different threads at once.
// Each such call holds a reference (CallGuard) so that Destroy, which stops the reader and
// thereby wakes a waiting read, never frees the object under a call still running; the last
// reference frees it. No call may begin after Destroy.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "framework/PlugDllFuns.h"
#include "hid_plugin/HidDiscovery.h"
#include "hid_plugin/HidReportDevice.h"
#include "platform/sync.h"

namespace qds::hid {

constexpr uint32_t kRingSize = 0x200000;
constexpr uint8_t kInputReportId = 2;
constexpr uint8_t kOutputReportId = 4;
constexpr uint32_t kMaxPayload = 56;       // payload bytes in one report
constexpr uint32_t kMoreFollowsByte = 63;  // output report: 1 when further reports follow
constexpr uint32_t kWriteTimeoutMs = 1000;
constexpr uint32_t kFollowUpWaitMs = 20;  // wait for more bytes once some have come
constexpr uint32_t kClearWaitMs = 50;
constexpr uint32_t kClearLimitMs = 250;  // a clear never lasts longer, whatever keeps coming
constexpr uint32_t kStartSettleMs = 100;
constexpr size_t kSerialChars =
    128;  // a longer serial number is not kept  // pause after starting the reader thread

// Fills one 64-byte output report with `chunk` (1 to 56) bytes of `data`.
void BuildOutputReport(const uint8_t* data, uint32_t chunk, bool moreFollows, uint8_t* report);

class HidPosDevice {
  public:
    // Builds the device on an opened backend and starts its reader thread. Null when memory,
    // an event or the thread cannot be had, or when the device closed again at once. `path`
    // and `serial` (the interface path it was opened by and its serial number) are its
    // identity for a reopen; either may be null.
    static HidPosDevice* Create(std::unique_ptr<IHidReportDevice> device,
                                const wchar_t* path = nullptr, const wchar_t* serial = nullptr);
    // Stops the reader and drops the owner's reference: the object is freed now, or when the
    // last call still running on it returns.
    static void Destroy(HidPosDevice* device);

    // Holds a reference for the length of one call on the device.
    class CallGuard {
      public:
        explicit CallGuard(HidPosDevice* device) : m_pDevice(device) { m_pDevice->AddRef(); }
        ~CallGuard() { m_pDevice->Release(); }
        CallGuard(const CallGuard&) = delete;
        CallGuard& operator=(const CallGuard&) = delete;

      private:
        HidPosDevice* const m_pDevice;
    };

    // Called by ReadWithTimeout just before each wait for data, with the wait's time-out
    // (tests only; set it before any read runs).
    using WaitHook = void (*)(void* context, uint32_t timeoutMs);
    void SetWaitHookForTests(WaitHook hook, void* context) {
        m_pWaitHook = hook;
        m_pWaitHookContext = context;
    }

    HidPosDevice(const HidPosDevice&) = delete;
    HidPosDevice& operator=(const HidPosDevice&) = delete;

    bool DeviceValid() const { return m_hDevice->IsOpen(); }
    // The interface path the device was opened by, and the serial number the system gave for
    // it; empty when not known.
    const wchar_t* Path() const { return m_path; }
    const wchar_t* Serial() const { return m_serial; }

    // Bytes placed in `buffer` (0 or more), or PLUG_E_CLOSED once the device has closed and
    // its ring is empty. Time-out 0 does not wait; plat::kInfinite waits until `length` bytes
    // have come or the device closes. A finite time-out is a deadline: reports that bring
    // nothing do not extend it.
    int32_t ReadWithTimeout(uint8_t* buffer, uint32_t length, uint32_t timeoutMs);
    // `length` (1 to INT32_MAX) when all reports went out; PLUG_E_CLOSED, or PLUG_E_TRANSFER
    // after which the device is closed for good.
    int32_t WriteReports(const uint8_t* data, uint32_t length);
    // Drains input until a 50 ms wait brings nothing, for at most kClearLimitMs.
    void Clear();
    // Signals the reader thread to stop and waits for it; safe from several threads at once.
    void StopReader();

    // The ring, under m_csRing. A chunk that does not fit is dropped whole.
    void RingPut(const uint8_t* bytes, uint32_t count);
    uint32_t RingGet(uint8_t* buffer, uint32_t count);
    uint32_t RingCount();

    // Signalled after each accepted report and once when the reader ends (tests watch it).
    plat::CEvent& DataEvent() { return m_hDataEvent; }

  private:
    HidPosDevice(std::unique_ptr<IHidReportDevice> device, const wchar_t* path,
                 const wchar_t* serial);
    ~HidPosDevice();
    void AddRef() { m_nRefs.fetch_add(1, std::memory_order_relaxed); }
    void Release() {
        if (m_nRefs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
    static uint32_t ReaderThreadProc(void* arg);
    void ReaderLoop();

    plat::CEvent m_hDataEvent{false, false};  // auto reset
    plat::CCriticalSection m_hIoMutex;        // a whole write; the reader's closing of the device
    plat::CCriticalSection m_hThreadMutex;    // stopping the reader
    const std::unique_ptr<IHidReportDevice> m_hDevice;  // closed, never freed, by the reader
    plat::CThread m_hReaderThread;
    std::atomic<bool> m_bReaderHeld{false};  // m_hReaderThread runs or awaits its join
    std::atomic<int> m_nRefs{1};             // the owner's, plus one per running call
    WaitHook m_pWaitHook = nullptr;
    void* m_pWaitHookContext = nullptr;
    plat::CCriticalSection m_csRing;
    uint32_t m_ringWrite = 0;
    uint32_t m_ringRead = 0;
    uint32_t m_ringCount = 0;
    wchar_t m_path[kDevicePathChars] = {};
    wchar_t m_serial[kSerialChars] = {};
    uint8_t m_ring[kRingSize];
};

}  // namespace qds::hid
