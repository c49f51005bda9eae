// The property model: the six setters and the dispatch of property indexes to reading
// rules and setters.
#include <iterator>

#include "service/Commands.h"
#include "service/ScannerCtrl.h"
#include "trace/TraceLog.h"

namespace qds::OPOS {

namespace {

// How a number property reads.
enum class NumberRule {
    Stored,          // the stored value, opened or not
    ZeroWhenClosed,  // 0 while not opened
    ResultCode,      // OPOS_E_CLOSED while not opened
    DataCount,       // GetDataCount: 0 while not opened, else read under m_csData
};

struct NumberProperty {
    int32_t index;
    std::atomic<int32_t> CScannerCtrl::*member;
    NumberRule rule;
};

const NumberProperty kNumberProperties[] = {
    {PIDX_Claimed, &CScannerCtrl::m_Claimed, NumberRule::Stored},
    {PIDX_DataEventEnabled, &CScannerCtrl::m_DataEventEnabled, NumberRule::Stored},
    {PIDX_DeviceEnabled, &CScannerCtrl::m_DeviceEnabled, NumberRule::Stored},
    {PIDX_FreezeEvents, &CScannerCtrl::m_FreezeEvents, NumberRule::Stored},
    {PIDX_OutputID, &CScannerCtrl::m_OutputID, NumberRule::Stored},
    {PIDX_ResultCode, &CScannerCtrl::m_ResultCode, NumberRule::ResultCode},
    {PIDX_ResultCodeExtended, &CScannerCtrl::m_ResultCodeExtended, NumberRule::Stored},
    {PIDX_ServiceObjectVersion, &CScannerCtrl::m_ServiceObjectVersion, NumberRule::Stored},
    {PIDX_State, &CScannerCtrl::m_State, NumberRule::Stored},
    {PIDX_AutoDisable, &CScannerCtrl::m_AutoDisable, NumberRule::Stored},
    {PIDX_BinaryConversion, &CScannerCtrl::m_BinaryConversion, NumberRule::Stored},
    {PIDX_DataCount, &CScannerCtrl::m_DataCount, NumberRule::DataCount},
    {PIDX_PowerNotify, &CScannerCtrl::m_PowerNotify, NumberRule::ZeroWhenClosed},
    {PIDX_PowerState, &CScannerCtrl::m_PowerState, NumberRule::ZeroWhenClosed},
    {PIDX_CapPowerReporting, &CScannerCtrl::m_CapPowerReporting, NumberRule::ZeroWhenClosed},
    {PIDXScan_DecodeData, &CScannerCtrl::m_DecodeData, NumberRule::Stored},
    {PIDXScan_ScanDataType, &CScannerCtrl::m_ScanDataType, NumberRule::ZeroWhenClosed},
};

struct NumberSetter {
    int32_t index;
    void (CScannerCtrl::*set)(int32_t value);
};

const NumberSetter kNumberSetters[] = {
    {PIDX_DataEventEnabled, &CScannerCtrl::SetDataEventEnabled},
    {PIDX_DeviceEnabled, &CScannerCtrl::SetDeviceEnabled},
    {PIDX_FreezeEvents, &CScannerCtrl::SetFreezeEvents},
    {PIDX_AutoDisable, &CScannerCtrl::SetAutoDisable},
    {PIDX_BinaryConversion, &CScannerCtrl::SetBinaryConversion},
    {PIDXScan_DecodeData, &CScannerCtrl::SetDecodeData},
};

// How a text property reads.
enum class TextRule {
    Stored,           // the stored text, opened or not
    EmptyWhenClosed,  // empty while not opened
    ScanText,         // empty while not opened, else copied under m_csData
    CheckHealth,      // the fixed text for the opened state
};

struct TextProperty {
    int32_t index;
    const std::string CScannerCtrl::*member;
    TextRule rule;
};

const TextProperty kTextProperties[] = {
    {PIDX_CheckHealthText, nullptr, TextRule::CheckHealth},
    {PIDX_DeviceDescription, &CScannerCtrl::m_DeviceDescription, TextRule::Stored},
    {PIDX_DeviceName, &CScannerCtrl::m_DeviceName, TextRule::EmptyWhenClosed},
    {PIDX_ServiceObjectDescription, &CScannerCtrl::m_ServiceObjectDescription, TextRule::Stored},
    {PIDXScan_ScanData, &CScannerCtrl::m_ScanData, TextRule::ScanText},
    {PIDXScan_ScanDataLabel, &CScannerCtrl::m_ScanDataLabel, TextRule::ScanText},
};

template <typename Entry, size_t N>
const Entry* Find(const Entry (&table)[N], int32_t index) {
    for (const Entry& e : table)
        if (e.index == index) return &e;
    return nullptr;
}

}  // namespace

void CScannerCtrl::SetDataEventEnabled(int32_t value) {
    CTraceScope scope("qds::OPOS::CScannerCtrl::SetDataEventEnabled", value);
    if (!m_bOpened) {
        m_ResultCode = OPOS_E_CLOSED;
        return;
    }
    m_ResultCode = OPOS_SUCCESS;
    m_DataEventEnabled = value;
    if (m_FreezeEvents != 0 || value == 0) return;
    int32_t firing;
    {
        plat::CLock lock(m_csData);
        firing = m_FiringEvent;
    }
    // A delivery in progress on another thread: this call takes no scan.
    if (firing == 0) PopFifoData();
}

void CScannerCtrl::SetFreezeEvents(int32_t value) {
    CTraceScope scope("qds::OPOS::CScannerCtrl::SetFreezeEvents", value);
    if (!m_bOpened) {
        m_ResultCode = OPOS_E_CLOSED;
        return;
    }
    m_ResultCode = OPOS_SUCCESS;
    m_FreezeEvents = value;
    if (value == 0 && m_DataEventEnabled != 0) PopFifoData();
}

void CScannerCtrl::SetDeviceEnabled(int32_t value) {
    CTraceScope scope("qds::OPOS::CScannerCtrl::SetDeviceEnabled", value);
    if (!m_bOpened) {
        m_ResultCode = OPOS_E_CLOSED;
        return;
    }
    if (m_Claimed == 0) {
        m_ResultCode = OPOS_E_NOTCLAIMED;
        return;
    }
    m_ResultCode = OPOS_SUCCESS;
    m_State = OPOS_S_BUSY;

    // A missing acknowledgement is not reported: the setter still succeeds.
    const int32_t devType = m_DevType;
    if (devType == DEV_TYPE2) {
        SendCommand(value != 0 ? kCmdType2Enable : kCmdType2Disable, 0, -1);
    } else if (devType == DEV_TYPE3) {
        SendCommand(value != 0 ? kFrameScanEnable : kFrameScanDisable, kCommandAckWaitMs,
                    static_cast<int32_t>(kFrameSize));
    }

    uint32_t word = 0;
    // Without a channel (closed meanwhile on another thread) the add-on is not called.
    if (devType == DEV_TYPE1 && TryChannelWord(word)) {
        if (value != 0) {
            AddOnPulse(word);
        } else {
            AddOnSet(word);  // the output stays at the active level while disabled
        }
    }

    m_State = OPOS_S_IDLE;
    m_DeviceEnabled = value;
}

void CScannerCtrl::SetAutoDisable(int32_t value) {
    CTraceScope scope("qds::OPOS::CScannerCtrl::SetAutoDisable", value);
    if (!m_bOpened) {
        m_ResultCode = OPOS_E_CLOSED;
        return;
    }
    m_ResultCode = OPOS_SUCCESS;
    m_AutoDisable = value;
}

void CScannerCtrl::SetBinaryConversion(int32_t value) {
    CTraceScope scope("qds::OPOS::CScannerCtrl::SetBinaryConversion", value);
    if (!m_bOpened) {
        m_ResultCode = OPOS_E_CLOSED;
        return;
    }
    m_ResultCode = OPOS_SUCCESS;
    m_BinaryConversion = value;
}

void CScannerCtrl::SetDecodeData(int32_t value) {
    CTraceScope scope("qds::OPOS::CScannerCtrl::SetDecodeData", value);
    if (!m_bOpened) {
        m_ResultCode = OPOS_E_CLOSED;
        return;
    }
    m_ResultCode = OPOS_SUCCESS;
    m_DecodeData = value;
    // The device's Code ID prefix follows, so that scans carry the identifier to decode.
    if (value != 0) {
        EnableCodeIDPre();
    } else {
        DisableCodeIDPre();
    }
}

int32_t CScannerCtrl::GetPropertyNumber(int32_t index) {
    const NumberProperty* p = Find(kNumberProperties, index);
    if (p == nullptr) return 0;
    const bool opened = m_bOpened != 0;
    switch (p->rule) {
        case NumberRule::Stored:
            break;
        case NumberRule::ZeroWhenClosed:
            if (!opened) return 0;
            break;
        case NumberRule::ResultCode:
            if (!opened) return OPOS_E_CLOSED;
            break;
        case NumberRule::DataCount:
            return GetDataCount();
    }
    return (this->*(p->member)).load();
}

void CScannerCtrl::SetPropertyNumber(int32_t index, int32_t value) {
    // Read-only and unknown indexes change nothing, ResultCode included.
    if (const NumberSetter* s = Find(kNumberSetters, index)) (this->*(s->set))(value);
}

void CScannerCtrl::GetPropertyString(int32_t index, std::string& out) {
    out.clear();
    const TextProperty* p = Find(kTextProperties, index);
    if (p == nullptr) return;
    const bool opened = m_bOpened != 0;
    switch (p->rule) {
        case TextRule::CheckHealth:
            out = CheckHealthText();
            return;
        case TextRule::Stored: {
            // Open empties the device texts under the same lock.
            plat::CLock lock(m_csData);
            out = this->*(p->member);
            return;
        }
        case TextRule::EmptyWhenClosed:
            if (opened) {
                plat::CLock lock(m_csData);
                out = this->*(p->member);
            }
            return;
        case TextRule::ScanText:
            if (opened) {
                // A delivery on another thread rewrites these under the same lock.
                plat::CLock lock(m_csData);
                out = this->*(p->member);
            }
            return;
    }
}

}  // namespace qds::OPOS
