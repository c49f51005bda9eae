#include "service/ScannerCtrl.h"

#include "jni/JNIEvents.h"
#include "platform/process.h"
#include "service/ReceiveGate.h"
#include "trace/TraceLog.h"

namespace qds::OPOS {

namespace {
constexpr size_t kPoolReserve = 32;
constexpr size_t kTextReserve = 1024;
const char* const kSuffixKey = "SOFTWARE\\OLEForRetail\\ServiceOPOS\\Scanner";
}  // namespace

CScannerCtrl& CScannerCtrl::Instance() {
    // The trace log is created first so that it outlives the service object, whose
    // destructor may still trace.
    CTraceLog::Instance();
    static CScannerCtrl s_ctrl;
    return s_ctrl;
}

CScannerCtrl::CScannerCtrl() {
    CTraceLog::Instance();
    receive_gate::Admit(this);
}

CScannerCtrl::~CScannerCtrl() {
    // The framework may still call back (a process that exits without Close keeps its channel
    // open): from here on such a callback does nothing, and one in progress has ended.
    receive_gate::Retire(this);
    // Where waiting for the framework's thread is allowed, the channel is closed as well.
    // On Windows this runs under the loader lock, so the channel stays open; the gate above
    // keeps its late callbacks away from the members released below.
    if (plat::CanJoinThreadsAtUnload()) CloseChannel(false);
    if (JNIEvents* sink = m_pJniEvents.exchange(nullptr)) delete sink;
    // Texts and containers are released first, then the add-on module is freed (here and
    // only here).
    std::string().swap(m_RecvText);
    std::string().swap(m_PopText);
    decltype(m_FifoData)().swap(m_FifoData);
    std::vector<std::string>().swap(m_StringPool);
    std::string().swap(m_ScanData);
    std::string().swap(m_ScanDataLabel);
    std::string().swap(m_DeviceDescription);
    std::string().swap(m_DeviceName);
    if (m_AddOn.hModule != nullptr) plat::FreeLib(m_AddOn.hModule);
    m_AddOn.hModule = nullptr;
}

const std::string& CScannerCtrl::CheckHealthText() const {
    static const std::string s_connected("Check Complete");
    static const std::string s_notConnected("Service Not connected");
    return m_bOpened ? s_connected : s_notConnected;
}

int32_t CScannerCtrl::Open(int32_t devType, int32_t commuType, int32_t comPort,
                           bool keepDataEvents) {
    CTraceScope scope("qds::OPOS::CScannerCtrl::Open");
    if (m_bOpened) {
        m_Events.SetReason("Open failed: already open");
        return OPOS_E_ILLEGAL;
    }
    m_Events.ClearReason();

    m_ResultCode = OPOS_SUCCESS;
    m_bKeepDataEventEnabled = keepDataEvents ? 1 : 0;
    {
        plat::CLock lock(m_csData);  // the text getters copy under this lock
        m_DeviceName.clear();
        m_DeviceDescription.clear();
    }
    m_CommuType = commuType;
    m_DevType = devType;

    CTraceLog& log = CTraceLog::Instance();
    switch (commuType) {
        case COMM_COM1:
            m_ComPort = 1;
            log.Write(level::debug, "COM1");
            break;
        case COMM_SERIAL:
            if (comPort == 0) {
                m_Events.SetReason("Open failed: serial port 0 does not exist");
                return OPOS_E_NOEXIST;
            }
            m_ComPort = comPort;
            log.Write(level::debug, "COM%d", comPort);
            break;
        case COMM_UDP:
            // "USB" for the udp transport is deliberate: the trace keeps the name this
            // communication type has always had, and log readers search for it.
            log.Write(level::debug, "USB");
            break;
        case COMM_HID:
            log.Write(level::debug, "HID");
            break;
        default:
            break;
    }

    m_bOpened = 1;
    m_ResultCode = OPOS_SUCCESS;
    m_State = OPOS_S_IDLE;
    // Where the framework reports status, the state is known from here on: offline until a
    // claim opens the channel.
    m_Events.Opened(FrameworkExtras().registerStatus != nullptr ? CONN_OFFLINE : CONN_UNKNOWN);
    ReadSuffixSetting();

    {
        plat::CLock lock(m_csData);
        m_StringPool.reserve(kPoolReserve);
    }
    m_RecvText.reserve(kTextReserve);
    {
        plat::CLock lock(m_csFifo);
        m_PopText.reserve(kTextReserve);
    }
    return OPOS_SUCCESS;
}

void CScannerCtrl::ReadSuffixSetting() {
    CRegistry reg;
    if (!reg.Open(kSuffixKey, plat::RegView::View64)) return;
    int32_t value = 0;
    uint32_t size = sizeof value;
    if (plat::RegQueryW(reg.Key(), "Suffix", &value, &size, nullptr)) m_bSuffix = value > 0 ? 1 : 0;
}

}  // namespace qds::OPOS
