#include "service/FrameworkExtras.h"

#include <string>
#include <vector>

#include "platform/dynlib.h"
#include "platform/time.h"
#include "service/ReceiveGate.h"
#include "service/ScannerCtrl.h"
#include "trace/TraceLog.h"

namespace qds::OPOS {

namespace {

constexpr int kLastErrorArgBytes = 8;
constexpr int kRegisterStatusArgBytes = 12;
constexpr int32_t kReasonChars = 512;

struct ExtrasSlot {
    plat::CCriticalSection cs;
    bool known = false;     // guarded by cs
    FrameworkExtraFns fns;  // guarded by cs
};

ExtrasSlot& Slot() {
    static ExtrasSlot s_slot;
    return s_slot;
}

void* FindExtra(const char* name, int argBytes) {
    const std::string module =
        std::string(plat::SharedLibPrefix()) + "Tavrix" + plat::SharedLibSuffix();
    char decorated[64];
    const char* exported =
        plat::StdcallExportName(name, argBytes, decorated, static_cast<int>(sizeof decorated));
    // tvx_open is what we import, so its module is the framework's.
    const void* anchor = reinterpret_cast<const void*>(&tvx_open);
    void* fn = plat::GetLoadedSymbol(module.c_str(), anchor, exported);
    // A 32-bit framework that exports its stdcall functions the compiler's way names them
    // without the leading underscore (name@N); ours carries it, as the contract's five do.
    if (fn == nullptr && exported[0] == '_' && exported[1] != '\0' &&
        std::string(exported + 1) != name)
        fn = plat::GetLoadedSymbol(module.c_str(), anchor, exported + 1);
    return fn;
}

}  // namespace

FrameworkExtraFns FrameworkExtras() {
    ExtrasSlot& slot = Slot();
    plat::CLock lock(slot.cs);
    if (!slot.known) {
        slot.fns.lastError =
            reinterpret_cast<LastErrorFn>(FindExtra(TVX_LAST_ERROR_NAME, kLastErrorArgBytes));
        slot.fns.registerStatus = reinterpret_cast<RegisterStatusFn>(
            FindExtra(TVX_REGISTER_STATUS_NAME, kRegisterStatusArgBytes));
        slot.known = true;
    }
    return slot.fns;
}

void SetFrameworkExtras(const FrameworkExtraFns* fns) {
    ExtrasSlot& slot = Slot();
    plat::CLock lock(slot.cs);
    slot.known = fns != nullptr;
    slot.fns = fns != nullptr ? *fns : FrameworkExtraFns{};
}

std::string FrameworkReason() {
    const LastErrorFn lastError = FrameworkExtras().lastError;
    if (lastError == nullptr) return std::string();
    std::vector<char> buffer(kReasonChars, '\0');
    const int32_t full = lastError(buffer.data(), kReasonChars);
    if (full <= 0) return std::string();
    if (full >= kReasonChars) {
        // Longer than our first guess: ask again with room for all of it.
        buffer.assign(static_cast<size_t>(full) + 1, '\0');
        lastError(buffer.data(), full + 1);
    }
    return std::string(buffer.data());
}

// --- CServiceEvents ---

void CServiceEvents::Signal(int32_t bits) {
    if (bits == EVENT_NONE) return;
    plat::CLock lock(m_cs);
    m_pending |= bits;
    m_wake.Set();
}

int32_t CServiceEvents::TakeLocked() {
    const int32_t bits = m_pending | (m_closed ? EVENT_CLOSED : EVENT_NONE);
    m_pending = EVENT_NONE;
    if (!m_closed) m_wake.Reset();
    return bits;
}

int32_t CServiceEvents::Wait(int32_t timeoutMs) {
    const uint32_t start = plat::TickMs();
    for (;;) {
        uint32_t waitMs = plat::kInfinite;
        {
            plat::CLock lock(m_cs);
            const int32_t bits = TakeLocked();
            if (bits != EVENT_NONE) return bits;
            if (timeoutMs >= 0) {
                const uint32_t spent = plat::TickMs() - start;
                const uint32_t limit = static_cast<uint32_t>(timeoutMs);
                if (spent >= limit) return EVENT_NONE;
                waitMs = limit - spent;
            }
        }
        // Not under m_cs: Signal takes it to set the event.
        if (m_wake.Wait(waitMs) == plat::WaitResult::Failed) return EVENT_NONE;
    }
}

void CServiceEvents::Opened(int32_t state) {
    m_state = state;
    plat::CLock lock(m_cs);
    m_pending = EVENT_NONE;
    m_closed = false;
    m_wake.Reset();
}

void CServiceEvents::Closing() {
    plat::CLock lock(m_cs);
    m_closed = true;
    m_wake.Set();
}

void CServiceEvents::SetState(int32_t state) {
    if (m_state.exchange(state) != state) Signal(EVENT_STATUS);
}

void CServiceEvents::SetReason(const std::string& reason) {
    plat::CLock lock(m_cs);
    m_reason = reason;
}

void CServiceEvents::ClearReason() {
    plat::CLock lock(m_cs);
    m_reason.clear();
}

std::string CServiceEvents::Reason() {
    plat::CLock lock(m_cs);
    return m_reason;
}

namespace {

void ApplyStatus(CScannerCtrl* ctrl, int32_t status) {
    CTraceLog& log = CTraceLog::Instance();
    if (status == TVX_STATUS_LOST) {
        log.Write(level::err, "device lost");
        // On the framework's thread, its last reason is why the device went away.
        const std::string why = FrameworkReason();
        ctrl->m_Events.SetReason(why.empty() ? "device lost" : "device lost: " + why);
        ctrl->m_Events.SetState(CONN_OFFLINE);
    } else if (status == TVX_STATUS_BACK) {
        log.Write(level::err, "device back");
        ctrl->m_Events.SetState(CONN_ONLINE);
    }
}

}  // namespace

void KX_STDCALL StatusNotify(int32_t status, void* context) {
    auto* ctrl = static_cast<CScannerCtrl*>(context);
    if (ctrl == nullptr) return;
    // As the receive callback: nothing thrown leaves, and an object already destroyed (process
    // exit without Close) is not touched.
    try {
        plat::CLock gate(receive_gate::Lock());
        if (receive_gate::Admitted(ctrl)) ApplyStatus(ctrl, status);
    } catch (...) {
    }
}

}  // namespace qds::OPOS
