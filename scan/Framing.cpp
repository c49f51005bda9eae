// Receive reassembly and the applying of frames: turns the framework's chunks into scans for
// the FIFO and acknowledgements for SendCommand. The framing rules themselves are NextFrame
// (scan/Framing.h, scan/NextFrame.cpp).
//
// The reassembly state is process-wide (there is one service object). The framework may call
// ReceiveNotify from more than one thread, so the receive gate's lock (service/ReceiveGate.h)
// serialises whole calls of ReceiveDataFromTAVRIX; nothing else takes it, so it never nests
// inside m_csFifo or m_csData.
#include "scan/Framing.h"

#include <atomic>
#include <cstring>

#include "platform/sync.h"
#include "platform/time.h"
#include "service/ReceiveGate.h"
#include "service/ScannerCtrl.h"
#include "trace/TraceLog.h"

namespace qds::OPOS {

namespace {

constexpr int32_t kRecvBufSize = 8192;
constexpr uint32_t kRecvGapMs = 800;
constexpr uint32_t kReplyWindowMs = 800;  // after a command write, texts may hold replies

uint8_t s_RecvBuf[kRecvBufSize + 1];
int32_t s_RecvLen = 0;
uint32_t s_LastRecvTick = 0;
std::atomic<TickSource> s_tickSource{nullptr};
std::atomic<bool> s_commandWritten{false};
std::atomic<uint32_t> s_LastCommandTick{0};

plat::CCriticalSection& RecvLock() {
    return receive_gate::Lock();  // never destroyed: late callbacks at exit may take it
}

uint32_t Tick() {
    const TickSource source = s_tickSource.load(std::memory_order_acquire);
    return source != nullptr ? source() : plat::TickMs();
}

}  // namespace

void NoteCommandWritten() noexcept {
    s_LastCommandTick.store(Tick());
    s_commandWritten.store(true);
}

void SetReceiveTickSource(TickSource source) {
    s_tickSource.store(source, std::memory_order_release);
}

void ResetReceiveState() {
    plat::CLock lock(RecvLock());
    s_RecvLen = 0;
    s_LastRecvTick = 0;
    s_RecvBuf[0] = 0;
    s_commandWritten.store(false);
}

void KX_STDCALL ReceiveNotify(const uint8_t* data, int32_t length, void* context) {
    if (context == nullptr) return;
    // Nothing thrown may reach the framework's thread; the chunk is lost instead.
    try {
        auto* ctrl = static_cast<CScannerCtrl*>(context);
        plat::CLock gate(RecvLock());
        // A service object already destroyed (process exit without Close) is not touched.
        if (!receive_gate::Admitted(ctrl)) return;
        ctrl->ReceiveDataFromTAVRIX(data, length);
    } catch (...) {
    }
}

// Applies a scan frame: AutoDisable, the FIFO, the add-on pulse. The record is in m_RecvText.
void CScannerCtrl::QueueScan(CTraceLog& log, int32_t devType) {
    // A disabled device delivers nothing: the scan is dropped, also when an AutoDisable
    // earlier in the same chunk disabled it.
    if (m_DeviceEnabled.load() == 0) {
        ++m_ScansDroppedDisabled;
        log.Write(level::debug, "Scan dropped: device disabled");
        return;
    }
    // The device is disabled before its scan is queued, as AutoDisable promises. Written from
    // this thread, the command waits for no acknowledgement (only this thread could deliver
    // it) and leaves the acknowledgement flag to whichever Java thread is waiting on it.
    if (m_AutoDisable.load() == 1) SetDeviceEnabled(0);
    // With the Code ID prefix off a text scan carries no identifier; a placeholder takes its
    // place, so that the label keeps its first character and decodes as unknown.
    if (devType != DEV_TYPE3 && m_bCodeIdPrefix.load() == 0)
        m_RecvText.insert(m_RecvText.begin(), RECORD_NO_CODE_ID);
    log.Write(level::debug, "push data before: datacount:%u",
              static_cast<unsigned>(m_DataCount.load()));
    PushFifoData(m_RecvText);
    log.Write(level::debug, "push data after: datacount:%u",
              static_cast<unsigned>(m_DataCount.load()));
    uint32_t word = 0;
    if (devType == DEV_TYPE1 && TryChannelWord(word)) {
        int32_t pulseOnScan;
        {
            plat::CLock addOn(m_csAddOn);
            pulseOnScan = m_AddOn.PulseOnScan;
        }
        // AddOnPulse itself checks that a module and its function are loaded.
        if (pulseOnScan > 0) AddOnPulse(word);
    }
    // Deliberate: nothing is popped here. The application pulls its scans through the property
    // setters, and the receive thread never delivers one; the two "pop data" lines are the
    // trace's established lines for every scan and are kept, so that logs compare.
    log.Write(level::debug, "pop data before: datacount:%u",
              static_cast<unsigned>(m_DataCount.load()));
    log.Write(level::debug, "pop data after: datacount:%u",
              static_cast<unsigned>(m_DataCount.load()));
}

void CScannerCtrl::ReceiveDataFromTAVRIX(const uint8_t* data, int32_t length) {
    CTraceScope scope("qds::OPOS::CScannerCtrl::ReceiveDataFromTAVRIX", length);
    plat::CLock lock(RecvLock());
    // A chunk handed over from inside one of this thread's own writes (AutoDisable) waits until
    // the running call is done with the buffer; framing it now would frame the same bytes twice.
    if (receive_gate::OnReceivePath()) {
        receive_gate::Defer(data, length);
        return;
    }
    receive_gate::CReceivePathMark mark;
    try {
        ReceiveChunk(data, length);
        receive_gate::DeferredChunk next;
        while (receive_gate::TakeDeferred(next))
            ReceiveChunk(
                next.nullData ? nullptr : reinterpret_cast<const uint8_t*>(next.bytes.data()),
                next.length);
    } catch (...) {
        // A frame failed half applied (out of memory): what is buffered cannot be trusted.
        s_RecvLen = 0;
        receive_gate::DeferredChunk dropped;
        while (receive_gate::TakeDeferred(dropped)) {
        }
        throw;
    }
}

void CScannerCtrl::ReceiveChunk(const uint8_t* data, int32_t length) {
    if (m_Claimed.load() != 1) {
        s_RecvLen = 0;
        return;
    }
    // Nothing to read: the chunk is dropped and what is buffered stays as it was.
    if (data == nullptr && length > 0) return;
    // A negative length is no chunk: it is dropped with the buffered bytes, as one too big is.
    if (length < 0) {
        s_RecvLen = 0;
        return;
    }

    const uint32_t elapsed = Tick() - s_LastRecvTick;  // unsigned: right across the wrap
    const int32_t offset = elapsed <= kRecvGapMs ? s_RecvLen : 0;
    if (static_cast<uint32_t>(offset) + static_cast<uint32_t>(length) >
        static_cast<uint32_t>(kRecvBufSize)) {
        s_RecvLen = 0;
        return;
    }
    if (length > 0) std::memcpy(s_RecvBuf + offset, data, static_cast<size_t>(length));
    s_RecvLen = offset + length;
    s_RecvBuf[s_RecvLen] = 0;
    if (s_RecvLen <= 0) {
        s_RecvLen = 0;
        return;
    }

    const int32_t devType = m_DevType.load();
    CTraceLog& log = CTraceLog::Instance();
    // Whether the device may be answering a command: then replies glued to other text are
    // taken apart (device types 2 and 4).
    const bool replyDue =
        m_bSetupMode.load() == 1 ||
        (s_commandWritten.load() && Tick() - s_LastCommandTick.load() <= kReplyWindowMs);
    int32_t dropped = 0;
    // Frames are taken from the front by advancing `start`; the rest moves to the front of
    // the buffer once, when the call ends.
    int32_t start = 0;
    for (;;) {
        s_LastRecvTick = Tick();
        const Frame frame = NextFrame(s_RecvBuf + start, s_RecvLen - start, devType, replyDue);
        start += frame.used;
        // The applying step: what each kind of frame changes in the service object.
        switch (frame.kind) {
            case FrameKind::Ack:
                m_bAckReceived.store(ACK_RECEIVED);
                break;
            case FrameKind::Nak:
                // A NAK ends the wait as well, but SendCommand must learn the device refused.
                m_bAckReceived.store(ACK_NAK);
                break;
            case FrameKind::StartMarker:
                m_bSetupMode = 1;
                break;
            case FrameKind::EndMarker:
                m_bSetupMode = 0;
                m_bAckReceived.store(ACK_RECEIVED);
                break;
            case FrameKind::Scan:
                frame.AssignRecord(m_RecvText);
                QueueScan(log, devType);
                break;
            case FrameKind::Drop:
                dropped += frame.used;
                break;
            case FrameKind::Incomplete:
                break;
        }
        if (frame.kind == FrameKind::Incomplete || start >= s_RecvLen) break;
    }

    if (dropped > 0)
        log.Write(level::debug, "receive: dropped %d bytes that start no frame", dropped);

    const int32_t rest = s_RecvLen - start;
    if (rest > 0 && start > 0)
        std::memmove(s_RecvBuf, s_RecvBuf + start, static_cast<size_t>(rest));
    s_RecvLen = rest > 0 ? rest : 0;
    s_RecvBuf[s_RecvLen] = 0;
}

}  // namespace qds::OPOS
