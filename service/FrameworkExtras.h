// What the service offers beyond the eleven natives: an event wait that sleeps until a scan is
// queued, the connection state changes or the service closes; the connection state the
// framework reports; and the reason of the last failure.
//
// The framework's extra exports (framework/TavrixExt.h) are found at run time in the framework
// module already loaded, and used only where present: Kolvex keeps importing exactly the five
// functions of the contract, so it still runs over a framework that offers only those.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "framework/TavrixExt.h"
#include "platform/sync.h"

namespace qds::OPOS {

// Bits of WaitEvent's answer (the Java side's ScannerEvents.EVENT_*).
enum EventBits : int32_t {
    EVENT_NONE = 0,
    EVENT_DATA = 1,    // a scan was queued
    EVENT_STATUS = 2,  // the connection state changed
    EVENT_CLOSED = 4,  // the service was closed (or is not open)
};

// Connection states (the Java side's ScannerEvents.STATE_*).
enum ConnState : int32_t {
    CONN_UNKNOWN = -1,  // the framework reports no status
    CONN_OFFLINE = 0,
    CONN_ONLINE = 1,
};

using LastErrorFn = int32_t(KX_STDCALL*)(char* buffer, int32_t size);
using RegisterStatusFn = int32_t(KX_STDCALL*)(TVX_HANDLE handle, TVX_STATUS_NOTIFY callback,
                                              void* context);

// The framework's optional exports; either may be null.
struct FrameworkExtraFns {
    LastErrorFn lastError = nullptr;
    RegisterStatusFn registerStatus = nullptr;
};

// Looked up once, on first use, in the loaded framework module.
FrameworkExtraFns FrameworkExtras();
// Replaces what FrameworkExtras() answers (unit tests); null looks the exports up again.
void SetFrameworkExtras(const FrameworkExtraFns* fns);

// The calling thread's last framework failure reason; empty when the framework offers none.
std::string FrameworkReason();

// Event bits, connection state and failure reason of one service object. Any thread may call.
// Bits are kept from the moment they are signalled until a Wait takes them, so nothing that
// happens between two waits is lost. Nothing here writes to the trace.
class CServiceEvents {
  public:
    CServiceEvents() = default;
    CServiceEvents(const CServiceEvents&) = delete;
    CServiceEvents& operator=(const CServiceEvents&) = delete;

    void Signal(int32_t bits);
    // Blocks up to timeoutMs (negative: no limit) until bits are pending, and takes them.
    // While the service is closed it answers at once with EVENT_CLOSED (and whatever was
    // pending). EVENT_NONE after a time-out.
    int32_t Wait(int32_t timeoutMs);

    // The service opened: pending bits are forgotten, waits block again.
    void Opened(int32_t state);
    // The service closes: wakes every waiter at once.
    void Closing();

    int32_t State() const { return m_state.load(); }
    // Signals EVENT_STATUS when the state changes.
    void SetState(int32_t state);

    void SetReason(const std::string& reason);
    void ClearReason();
    std::string Reason();

  private:
    int32_t TakeLocked();

    plat::CCriticalSection m_cs;       // the members below but m_state
    plat::CEvent m_wake{true, false};  // set while bits are pending or the service is closed
    int32_t m_pending = EVENT_NONE;
    bool m_closed = true;
    std::string m_reason;
    std::atomic<int32_t> m_state{CONN_UNKNOWN};
};

// The framework's status callback; context is the CScannerCtrl. Writes "device lost" or
// "device back" and updates the connection state.
void KX_STDCALL StatusNotify(int32_t status, void* context);

}  // namespace qds::OPOS
