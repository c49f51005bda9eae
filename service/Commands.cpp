// The device command channel: every byte sent to the scanner goes through SendCommand.
#include "service/Commands.h"

#include <atomic>
#include <cstring>

#include "platform/time.h"
#include "scan/Framing.h"
#include "service/ReceiveGate.h"
#include "service/ScannerCtrl.h"
#include "trace/TraceLog.h"

namespace qds::OPOS {

namespace {

std::atomic<CommandSleep> g_commandSleep{nullptr};

void Pause(uint32_t ms) {
    if (CommandSleep sleep = g_commandSleep.load()) {
        sleep(ms);
    } else {
        plat::SleepMs(ms);
    }
}

void Write(TVX_HANDLE h, const void* bytes, size_t count) {
    // A failed write shows only as a missing acknowledgement; without a channel there is
    // nowhere to write.
    if (h == nullptr) return;
    NoteCommandWritten();  // the receive path looks for replies glued to other text
    tvx_write(h, static_cast<const uint8_t*>(bytes), static_cast<int32_t>(count), kWriteTimeoutMs);
}

}  // namespace

void SetCommandSleep(CommandSleep sleep) {
    g_commandSleep.store(sleep);
}

int32_t CScannerCtrl::SendCommand(const void* data, int32_t ackWaitMs, int32_t length) {
    CTraceScope scope("qds::OPOS::CScannerCtrl::SendCommand");
    if (m_Claimed != 1) return SEND_NOT_CLAIMED;

    CTraceLog& log = CTraceLog::Instance();
    const char* text = static_cast<const char*>(data);
    size_t count = 0;
    if (length > 0) {
        log.Write(level::debug, "SendCommand set HEX data!, len:%d", length);
        count = data != nullptr ? static_cast<size_t>(length) : 0;
    } else {
        log.Write(level::debug, "SendCommand data:%s!", text != nullptr ? text : "");
        count = text != nullptr ? std::strlen(text) : 0;
    }

    // On the framework's receive thread (AutoDisable) no acknowledgement can arrive while this
    // thread waits, and clearing the flag would hide one that a Java thread's command is
    // waiting for (a claim answered just before a scan). The bytes go out all the same.
    const bool onReceivePath = receive_gate::OnReceivePath();
    if (!onReceivePath) m_bAckReceived = ACK_NONE;
    const TVX_HANDLE h = m_hTvx;
    const bool serial = m_CommuType == COMM_SERIAL;
    const int32_t devType = m_DevType;
    if (serial && devType == DEV_TYPE2) {
        Write(h, kStartMarker, kMarkerSize);
        Pause(kMarkerPauseMs);
    }
    if (count != 0) Write(h, data, count);
    if (serial && (devType == DEV_TYPE2 || devType == DEV_TYPE4)) {
        Pause(kMarkerPauseMs);
        Write(h, kEndMarker, kMarkerSize);
    }

    if (ackWaitMs == 0 || onReceivePath) return SEND_OK;
    if (ackWaitMs < 0) return SEND_NEGATIVE_WAIT;
    // The flag is looked at after every step, at least once; the wait ends at the first
    // multiple of the step that reaches ackWaitMs.
    int64_t elapsed = 0;
    for (;;) {
        Pause(kAckStepMs);
        const int32_t ack = m_bAckReceived.load();
        if (ack != ACK_NONE) return ack == ACK_NAK ? SEND_NAK : SEND_OK;
        elapsed += kAckStepMs;
        if (elapsed >= ackWaitMs) return SEND_NO_ACK;
    }
}

void CScannerCtrl::EnableCodeIDPre() {
    CTraceScope scope("qds::OPOS::CScannerCtrl::EnableCodeIDPre");
    CTraceLog& log = CTraceLog::Instance();
    log.Write(level::debug, "EnableCodeIDPre!");
    switch (m_DevType.load()) {
        case DEV_TYPE1:
            if (SendCommand(kCmdType1CodeIdOn, kCommandAckWaitMs, -1) != SEND_NOT_CLAIMED)
                m_bCodeIdPrefix = 1;
            break;
        case DEV_TYPE3:
            log.Write(level::debug, "DevType3 Not Set CodeID");
            break;
        case DEV_TYPE2:
        case DEV_TYPE4:
            if (SendCommand(kCmdType24CodeIdOn, 0, -1) != SEND_NOT_CLAIMED) m_bCodeIdPrefix = 1;
            break;
        default:
            log.Write(level::warn, "SendCommand other dev!");
            break;
    }
}

void CScannerCtrl::DisableCodeIDPre() {
    CTraceScope scope("qds::OPOS::CScannerCtrl::DisableCodeIDPre");
    CTraceLog& log = CTraceLog::Instance();
    log.Write(level::debug, "DisableCodeIDPre!");
    switch (m_DevType.load()) {
        case DEV_TYPE1:
            if (SendCommand(kCmdType1CodeIdOff, kCommandAckWaitMs, -1) != SEND_NOT_CLAIMED)
                m_bCodeIdPrefix = 0;
            break;
        case DEV_TYPE3:
            log.Write(level::debug, "DevType3 Not Set CodeID");
            break;
        case DEV_TYPE2:
        case DEV_TYPE4:
            if (SendCommand(kCmdType24CodeIdOff, 0, -1) != SEND_NOT_CLAIMED) m_bCodeIdPrefix = 0;
            break;
        default:
            break;
    }
}

// The barcode suffix is configured on the device itself; these only mark the choice in
// the trace.
void CScannerCtrl::EnableBarcodeSuf() {
    CTraceScope scope("qds::OPOS::CScannerCtrl::EnableBarcodeSuf");
}

void CScannerCtrl::DisableBarcodeSuf() {
    CTraceScope scope("qds::OPOS::CScannerCtrl::DisableBarcodeSuf");
}

}  // namespace qds::OPOS
