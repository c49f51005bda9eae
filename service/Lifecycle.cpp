// Claim, release and close: moves the service object between opened and claimed and back to
// closed. Runs on the calling Java thread; the locks taken here are the FIFO's, through
// EmptyFifo, and m_csTvx around swapping the channel handle out. Each failure leaves its reason
// in m_Events for the Java side.
#include <string>

#include "service/Commands.h"
#include "service/ScannerCtrl.h"
#include "trace/TraceLog.h"

namespace qds::OPOS {

namespace {

constexpr int32_t kSerialBaud = 9600;
constexpr size_t kParamChars = 64;

// The ASCII text of the framework's type and parameters, for a reason text.
std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; text != nullptr && *text != L'\0'; ++text)
        out += *text > 0 && *text < 0x7F ? static_cast<char>(*text) : '?';
    return out;
}

}  // namespace

int32_t CScannerCtrl::Close() {
    CTraceScope scope("qds::OPOS::CScannerCtrl::Close");
    if (!m_bOpened.load()) return OPOS_E_CLOSED;
    m_Events.Closing();  // a waiting listener wakes now, not after the release
    if (m_Claimed.load()) {
        m_ResultCode = OPOS_SUCCESS;
        Release();
    }
    // The framework runs no callback once tvx_close has returned.
    CloseChannel(true);
    if (m_Events.State() != CONN_UNKNOWN) m_Events.SetState(CONN_OFFLINE);
    EmptyFifo();
    m_Claimed = 0;
    m_bOpened = 0;
    m_State = OPOS_S_CLOSED;
    return OPOS_SUCCESS;
}

void CScannerCtrl::CloseChannel(bool closeNull) {
    TVX_HANDLE old;
    {
        // A thread following the handle to its channel word finishes before it is swapped out.
        plat::CLock lock(m_csTvx);
        old = m_hTvx.exchange(nullptr);
    }
    if (old != nullptr || closeNull) tvx_close(old);
}

int32_t CScannerCtrl::ClaimDevice() {
    CTraceScope scope("qds::OPOS::CScannerCtrl::ClaimDevice");
    CTraceLog& log = CTraceLog::Instance();
    log.Write(level::debug, "ClaimDevice!");
    m_Events.ClearReason();
    if (!m_bOpened.load()) {
        m_Events.SetReason("ClaimDevice failed: not opened");
        return OPOS_E_CLOSED;
    }
    if (m_Claimed.load()) {
        m_ResultCode = OPOS_SUCCESS;
        return OPOS_SUCCESS;
    }
    CloseChannel(false);

    const int32_t commuType = m_CommuType.load();
    wchar_t params[kParamChars] = {};
    const wchar_t* type = nullptr;
    const wchar_t* paramText = nullptr;
    switch (commuType) {
        case COMM_SERIAL: {
            const std::wstring text = L"com=" + std::to_wstring(m_ComPort.load()) + L";baud=" +
                                      std::to_wstring(kSerialBaud);
            text.copy(params, kParamChars - 1);
            type = L"COM";
            paramText = params;
            break;
        }
        case COMM_UDP:
            type = L"udp";
            break;
        case COMM_HID:
            type = L"HID";
            break;
        default:
            m_Events.SetReason("ClaimDevice failed: communication type " +
                               std::to_string(commuType) + " has no transport");
            m_ResultCode = OPOS_E_NOEXIST;
            return OPOS_E_NOEXIST;
    }

    const FrameworkExtraFns extras = FrameworkExtras();
    TVX_HANDLE h = tvx_open(type, paramText, 1);
    if (h == nullptr) {
        log.Write(level::err, "tvx_open error!CommuTpye:%d", commuType);
        // Read at once, on this thread: the framework keeps the reason per thread.
        const std::string why = FrameworkReason();
        if (!why.empty()) {
            log.Write(level::err, "tvx_open reason: %s", why.c_str());
            m_Events.SetReason(why);
        } else {
            std::string tried = Narrow(type);
            if (paramText != nullptr) tried += " " + Narrow(paramText);
            m_Events.SetReason("ClaimDevice failed: the framework could not open " + tried);
        }
        if (m_Events.State() != CONN_UNKNOWN) m_Events.SetState(CONN_OFFLINE);
        m_ResultCode = OPOS_E_ILLEGAL;
        return OPOS_E_ILLEGAL;
    }
    m_hTvx = h;
    tvx_register_notify(h, 0, &ReceiveNotify, this);
    if (extras.registerStatus != nullptr && extras.registerStatus(h, &StatusNotify, this) == 0)
        m_Events.SetState(CONN_ONLINE);
    m_ResultCode = OPOS_SUCCESS;
    m_Claimed = 1;

    if (m_DevType.load() == DEV_TYPE3) {
        const int32_t ret = SendCommand(kFrameClaim, kCommandAckWaitMs, kFrameSize);
        if (ret != SEND_OK) {
            // The channel stays open and registered; the next ClaimDevice or Close closes it.
            log.Write(level::err, "Claim cmd ret:%d!", ret);
            m_Events.SetReason(
                ret == SEND_NO_ACK
                    ? "ClaimDevice failed: the scanner did not answer the claim command"
                    : "ClaimDevice failed: the claim command could not be sent (" +
                          std::to_string(ret) + ")");
            m_Claimed = 0;
            const int32_t code = ret == SEND_NO_ACK ? OPOS_E_TIMEOUT : OPOS_E_FAILURE;
            m_ResultCode = code;
            return code;
        }
    }
    SetDeviceEnabled(0);
    // The Code ID prefix is set to match DecodeData, so that the receive path knows whether
    // text scans start with it (a Release switched it off).
    const int32_t devType = m_DevType.load();
    if (devType == DEV_TYPE1 || devType == DEV_TYPE2 || devType == DEV_TYPE4) {
        if (m_DecodeData.load() != 0)
            EnableCodeIDPre();
        else
            DisableCodeIDPre();
    }
    if (m_bSuffix.load())
        EnableBarcodeSuf();
    else
        DisableBarcodeSuf();
    return OPOS_SUCCESS;
}

int32_t CScannerCtrl::Release() {
    CTraceScope scope("qds::OPOS::CScannerCtrl::Release");
    CTraceLog& log = CTraceLog::Instance();
    log.Write(level::debug, "Release!");
    m_Events.ClearReason();
    if (!m_bOpened.load()) {
        m_Events.SetReason("ReleaseDevice failed: not opened");
        return OPOS_E_CLOSED;
    }
    if (!m_Claimed.load()) {
        m_Events.SetReason("ReleaseDevice failed: not claimed");
        return OPOS_E_NOTCLAIMED;
    }
    if (m_DevType.load() == DEV_TYPE3) {
        const int32_t ret = SendCommand(kFrameRelease, kCommandAckWaitMs, kFrameSize);
        log.Write(level::debug, "Sent Release cmd return:%d!", ret);
    }
    SetDeviceEnabled(1);
    DisableCodeIDPre();
    m_ResultCode = OPOS_SUCCESS;
    EmptyFifo();
    // Cleared after emptying: a scan queued in between waits for ClearInput or Close.
    m_Claimed = 0;
    return OPOS_SUCCESS;
}

int32_t CScannerCtrl::ClearInput() {
    m_Events.ClearReason();
    if (!m_bOpened.load()) {
        m_Events.SetReason("ClearInput failed: not opened");
        m_ResultCode = OPOS_E_CLOSED;
        return OPOS_E_CLOSED;
    }
    m_ResultCode = OPOS_SUCCESS;
    tvx_clear(m_hTvx.load());
    EmptyFifo();
    return OPOS_SUCCESS;
}

}  // namespace qds::OPOS
