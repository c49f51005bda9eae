// The scan FIFO and the pulled data events.
//
// PushFifoData runs on the framework's receive thread; PopFifoData on the application's
// thread that set DataEventEnabled or cleared FreezeEvents. m_csFifo is held over a whole
// PopFifoData and is always taken before m_csData; m_csData covers only short container and
// counter steps, never a callout or a log line.
#include "jni/JNIEvents.h"
#include "service/ScannerCtrl.h"
#include "trace/TraceLog.h"

namespace qds::OPOS {

namespace {
constexpr int32_t kFifoLimitWithSink = 2048;
constexpr size_t kPoolMax = 32;
constexpr int32_t kLabelLengthOffset = 5;  // the decode line reports the length minus 5
}  // namespace

void CScannerCtrl::PushFifoData(const std::string& scan) {
    CTraceScope scope("qds::OPOS::CScannerCtrl::PushFifoData");
    // Runs on the framework's thread: nothing thrown here may leave. A scan that cannot be
    // stored (out of memory) is dropped and counted like one over the bound.
    try {
        PushOrDrop(scan);
    } catch (...) {
        ++m_ScansDroppedFull;
    }
}

void CScannerCtrl::PushOrDrop(const std::string& scan) {
    JNIEvents* sink = m_pJniEvents;
    if (sink != nullptr && m_bOpened) {
        int32_t count;
        {
            plat::CLock lock(m_csData);
            count = m_DataCount;
        }
        if (count >= kFifoLimitWithSink) {
            sink->ErrorEvent();
            return;
        }
    }

    // Reuse a spent buffer, so that a scan of ordinary length needs no new allocation.
    std::string prepared;
    {
        plat::CLock lock(m_csData);
        if (!m_StringPool.empty()) {
            prepared = std::move(m_StringPool.back());
            m_StringPool.pop_back();
        }
    }
    prepared.assign(scan);
    bool logDrop = false;
    int32_t queued = 0;
    {
        plat::CLock lock(m_csData);
        // Without a sink nobody hears of a full FIFO, so it is bounded here: a device (or a
        // UDP sender) that keeps sending while the application does not pull would otherwise
        // grow it until memory runs out.
        if (sink == nullptr && m_DataCount >= kFifoLimit) {
            ++m_ScansDroppedFull;
            logDrop = !m_bFifoFullBurst;  // once per run of drops
            m_bFifoFullBurst = true;
            queued = m_DataCount;
            if (m_StringPool.size() < kPoolMax) m_StringPool.push_back(std::move(prepared));
        } else {
            m_FifoData.push_back(std::move(prepared));
            ++m_DataCount;
            m_bFifoFullBurst = false;
        }
    }
    if (logDrop) {
        CTraceLog::Instance().Write(
            level::err, "PushFifoData: FIFO full at %d scans, dropping new scans", queued);
        return;
    }
    m_Events.Signal(EVENT_DATA);  // wakes a waiting listener; no polling
}

void CScannerCtrl::PopFifoData() {
    CTraceScope scope("qds::OPOS::CScannerCtrl::PopFifoData");
    plat::CLock fifoLock(m_csFifo);

    const int32_t dataEventEnabled = m_DataEventEnabled;
    const int32_t freezeEvents = m_FreezeEvents;
    const int32_t dataCount = GetDataCount();
    CTraceLog& log = CTraceLog::Instance();
    log.Write(level::debug,
              "PopFifoData: GetDataEventEnabled:%u GetFreezeEvents:%u GetDataCount:%u",
              static_cast<unsigned>(dataEventEnabled), static_cast<unsigned>(freezeEvents),
              static_cast<unsigned>(dataCount));
    if (dataEventEnabled == 0 || freezeEvents != 0 || dataCount == 0) return;

    {
        plat::CLock lock(m_csData);
        if (m_FifoData.empty()) return;
        std::string& front = m_FifoData.front();
        m_PopText.assign(front);
        // The spent buffer moves into the pool instead of being copied there.
        if (m_StringPool.size() < kPoolMax) m_StringPool.push_back(std::move(front));
        m_FifoData.pop_front();
    }

    // Should the delivery throw (out of memory), the firing flag must still fall and the scan
    // stop being counted, or no later SetDataEventEnabled would ever deliver again.
    struct DeliveryGuard {
        CScannerCtrl& ctrl;
        bool done = false;
        ~DeliveryGuard() {
            if (done) return;
            plat::CLock lock(ctrl.m_csData);
            ctrl.m_FiringEvent = 0;
            if (ctrl.m_DataCount > 0) --ctrl.m_DataCount;
        }
    } guard{*this};
    SetFiringEvent(1);
    log.Write(level::debug, "FiringEvent: True");
    FireDataEvent(m_PopText);
    guard.done = true;
    ++m_ScansDelivered;
    SetFiringEvent(0);
    log.Write(level::debug, "FiringEvent: false");
}

void CScannerCtrl::FireDataEvent(const std::string& scan) {
    CTraceLog& log = CTraceLog::Instance();
    int32_t type = 0;
    if (m_DecodeData != 0) {
        type = DecodeDataToDataType(scan);
        log.Write(level::debug, "DecodeType:%d,DataLen:%d", type,
                  static_cast<int32_t>(scan.size()) - kLabelLengthOffset);
    } else {
        log.Write(level::debug, "UnDecodeType,DataLen:%d", static_cast<int32_t>(scan.size()));
    }

    {
        plat::CLock lock(m_csData);
        m_ScanDataType = type;
        m_ScanData.clear();
        m_ScanDataLabel.clear();
        ApplyLabelRules(scan);
    }

    if (!m_bKeepDataEventEnabled) m_DataEventEnabled = 0;

    if (JNIEvents* sink = m_pJniEvents) {
        sink->SOData();
        log.Write(level::debug, "m_pJniEvents->SOData");
    } else {
        log.Write(level::debug, "m_pJniEvents is NULL");
    }

    log.Write(level::debug, "begin to decrease datacount:%u",
              static_cast<unsigned>(m_DataCount.load()));
    {
        plat::CLock lock(m_csData);
        // EmptyFifo waits for this delivery, so the scan is still counted here.
        if (m_DataCount > 0) --m_DataCount;
    }
}

void CScannerCtrl::SetFiringEvent(int32_t value) {
    CTraceScope scope("qds::OPOS::CScannerCtrl::SetFiringEvent", value);
    if (!m_bOpened) {
        m_ResultCode = OPOS_E_CLOSED;
        // A Close that lands during a delivery must not leave the flag raised, or no later
        // SetDataEventEnabled would ever deliver again.
        if (value == 0) {
            plat::CLock lock(m_csData);
            m_FiringEvent = 0;
        }
        return;
    }
    m_ResultCode = OPOS_SUCCESS;
    plat::CLock lock(m_csData);
    m_FiringEvent = value;
}

int32_t CScannerCtrl::GetDataCount() {
    if (!m_bOpened) return 0;
    plat::CLock lock(m_csData);
    return m_DataCount;
}

void CScannerCtrl::EmptyFifo() {
    plat::CLock fifoLock(m_csFifo);
    plat::CLock lock(m_csData);
    m_ScansCleared += static_cast<int64_t>(m_FifoData.size());
    while (!m_FifoData.empty()) {
        if (m_StringPool.size() < kPoolMax) m_StringPool.push_back(std::move(m_FifoData.front()));
        m_FifoData.pop_front();
    }
    m_DataCount = 0;
}

}  // namespace qds::OPOS
