// The property model: setter guards, DeviceEnabled commands and State, DecodeData and the
// Code ID prefix, and the dispatch of property indexes.
#include <atomic>
#include <mutex>
#include <thread>

#include "service/Commands.h"
#include "tests/support/CoreFixture.h"

using namespace qds::OPOS;

namespace {

void NoSleep(uint32_t) {}

class PropertiesTest : public core_test::CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        SetCommandSleep(&NoSleep);  // acknowledgement waits end at once
    }
    void TearDown() override {
        SetCommandSleep(nullptr);
        CoreTest::TearDown();
    }
};

using Member = std::atomic<int32_t> CScannerCtrl::*;

struct SetterCase {
    int32_t index;
    Member member;
};

const SetterCase kSetters[] = {
    {PIDX_DataEventEnabled, &CScannerCtrl::m_DataEventEnabled},
    {PIDX_DeviceEnabled, &CScannerCtrl::m_DeviceEnabled},
    {PIDX_FreezeEvents, &CScannerCtrl::m_FreezeEvents},
    {PIDX_AutoDisable, &CScannerCtrl::m_AutoDisable},
    {PIDX_BinaryConversion, &CScannerCtrl::m_BinaryConversion},
    {PIDXScan_DecodeData, &CScannerCtrl::m_DecodeData},
};

TEST_F(PropertiesTest, EverySetterBeforeOpenGives101AndChangesNothing) {
    for (const SetterCase& c : kSetters) {
        SCOPED_TRACE(c.index);
        CScannerCtrl ctrl;
        ctrl.m_Claimed = 1;
        ctrl.*(c.member) = 7;
        ctrl.SetPropertyNumber(c.index, 1);
        EXPECT_EQ(OPOS_E_CLOSED, ctrl.m_ResultCode.load());
        EXPECT_EQ(7, (ctrl.*(c.member)).load());
        EXPECT_EQ(OPOS_E_CLOSED, ctrl.GetPropertyNumber(PIDX_ResultCode));
    }
    EXPECT_EQ(0u, fake::FakeTavrix::Get().CountOf("write"));
}

TEST_F(PropertiesTest, EverySetterStoresItsValueWhenOpened) {
    for (const SetterCase& c : kSetters) {
        SCOPED_TRACE(c.index);
        auto ctrl = Claimed(DEV_TYPE4, COMM_HID);
        ctrl->m_ResultCode = 55;
        ctrl->SetPropertyNumber(c.index, 2);
        EXPECT_EQ(OPOS_SUCCESS, ctrl->GetPropertyNumber(PIDX_ResultCode));
        EXPECT_EQ(2, ctrl->GetPropertyNumber(c.index));
    }
}

TEST_F(PropertiesTest, SetDeviceEnabledBeforeClaimGives103) {
    auto ctrl = Opened(DEV_TYPE2, COMM_SERIAL);
    ctrl->m_hTvx = tvx_open(L"COM", nullptr, 1);  // a channel, but no claim
    ctrl->SetDeviceEnabled(1);
    EXPECT_EQ(OPOS_E_NOTCLAIMED, ctrl->GetPropertyNumber(PIDX_ResultCode));
    EXPECT_EQ(0, ctrl->GetPropertyNumber(PIDX_DeviceEnabled));
    EXPECT_EQ(OPOS_S_IDLE, ctrl->GetPropertyNumber(PIDX_State));
    EXPECT_EQ(0u, fake::FakeTavrix::Get().CountOf("write"));
}

TEST_F(PropertiesTest, StateIsBusyWhileSetDeviceEnabledWorks) {
    auto ctrl = Claimed(DEV_TYPE3, COMM_HID);
    CScannerCtrl* raw = ctrl.get();
    std::vector<int32_t> statesSeen;
    fake::FakeTavrix::Get().SetWriteHook(
        [&statesSeen, raw](const std::string&) { statesSeen.push_back(raw->m_State.load()); });
    ctrl->SetDeviceEnabled(1);
    EXPECT_EQ(std::vector<int32_t>{OPOS_S_BUSY}, statesSeen);
    EXPECT_EQ(OPOS_S_IDLE, ctrl->GetPropertyNumber(PIDX_State));
    EXPECT_EQ(1, ctrl->GetPropertyNumber(PIDX_DeviceEnabled));
    EXPECT_EQ(OPOS_SUCCESS, ctrl->GetPropertyNumber(PIDX_ResultCode));  // no ack came
}

const std::string kEnableFrame(reinterpret_cast<const char*>(kFrameScanEnable), kFrameSize);
const std::string kDisableFrame(reinterpret_cast<const char*>(kFrameScanDisable), kFrameSize);

struct DeviceEnabledCase {
    const char* name;
    int32_t devType;
    int32_t commuType;
    int32_t value;
    std::vector<std::string> writes;
};

TEST_F(PropertiesTest, DeviceEnabledCommandsByDeviceTypeAndTransport) {
    const DeviceEnabledCase cases[] = {
        {"type2 COM disable", DEV_TYPE2, COMM_SERIAL, 0, {"$$$$", "#99900102;", "%%%%"}},
        {"type2 COM enable", DEV_TYPE2, COMM_SERIAL, 1, {"$$$$", "%%%%"}},
        {"type2 udp disable", DEV_TYPE2, COMM_UDP, 0, {"#99900102;"}},
        {"type2 udp enable", DEV_TYPE2, COMM_UDP, 1, {}},
        {"type2 HID disable", DEV_TYPE2, COMM_HID, 0, {"#99900102;"}},
        {"type2 HID enable", DEV_TYPE2, COMM_HID, 1, {}},
        {"type3 HID enable", DEV_TYPE3, COMM_HID, 1, {kEnableFrame}},
        {"type3 HID disable", DEV_TYPE3, COMM_HID, 0, {kDisableFrame}},
        {"type3 COM enable", DEV_TYPE3, COMM_SERIAL, 5, {kEnableFrame}},
        {"type1 COM enable", DEV_TYPE1, COMM_SERIAL, 1, {}},
        {"type1 COM disable", DEV_TYPE1, COMM_SERIAL, 0, {}},
        {"type4 COM enable", DEV_TYPE4, COMM_SERIAL, 1, {}},
        {"type4 COM disable", DEV_TYPE4, COMM_SERIAL, 0, {}},
        {"other type", 6, COMM_SERIAL, 1, {}},
    };
    for (const DeviceEnabledCase& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeTavrix::Get().Reset();
        auto ctrl = Claimed(c.devType, c.commuType);
        ctrl->SetPropertyNumber(PIDX_DeviceEnabled, c.value);
        EXPECT_EQ(c.writes, Writes());
        EXPECT_EQ(c.value, ctrl->GetPropertyNumber(PIDX_DeviceEnabled));
        EXPECT_EQ(OPOS_SUCCESS, ctrl->GetPropertyNumber(PIDX_ResultCode));
        EXPECT_EQ(OPOS_S_IDLE, ctrl->GetPropertyNumber(PIDX_State));
    }
}

struct DecodeDataCase {
    const char* name;
    int32_t devType;
    int32_t commuType;
    bool claimed;
    int32_t value;
    std::vector<std::string> writes;
};

TEST_F(PropertiesTest, DecodeDataSwitchesTheCodeIdPrefix) {
    const DecodeDataCase cases[] = {
        {"type1 on", DEV_TYPE1, COMM_SERIAL, true, 1, {"QDS0307010"}},
        {"type1 off", DEV_TYPE1, COMM_SERIAL, true, 0, {"QDS0307000"}},
        {"type2 on over COM", DEV_TYPE2, COMM_SERIAL, true, 1, {"$$$$", "#99904041;", "%%%%"}},
        {"type4 off over HID", DEV_TYPE4, COMM_HID, true, 0, {"#99904040;"}},
        {"type3 sends nothing", DEV_TYPE3, COMM_HID, true, 1, {}},
        {"not claimed: dropped", DEV_TYPE1, COMM_SERIAL, false, 1, {}},
    };
    for (const DecodeDataCase& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeTavrix::Get().Reset();
        auto ctrl = c.claimed ? Claimed(c.devType, c.commuType) : Opened(c.devType, c.commuType);
        ctrl->SetPropertyNumber(PIDXScan_DecodeData, c.value);
        EXPECT_EQ(c.writes, Writes());
        EXPECT_EQ(c.value, ctrl->GetPropertyNumber(PIDXScan_DecodeData));
        EXPECT_EQ(OPOS_SUCCESS, ctrl->GetPropertyNumber(PIDX_ResultCode));
    }
}

struct NumberReadCase {
    int32_t index;
    Member member;   // null: a fixed or unknown index
    int32_t stored;  // stored before reading (when member is set)
    int32_t closed;  // read while not opened
    int32_t opened;  // read after Open
};

TEST_F(PropertiesTest, NumberPropertiesReadByTheirRules) {
    const NumberReadCase cases[] = {
        {PIDX_Claimed, &CScannerCtrl::m_Claimed, 9, 9, 9},
        {PIDX_DataEventEnabled, &CScannerCtrl::m_DataEventEnabled, 9, 9, 9},
        {PIDX_DeviceEnabled, &CScannerCtrl::m_DeviceEnabled, 9, 9, 9},
        {PIDX_FreezeEvents, &CScannerCtrl::m_FreezeEvents, 9, 9, 9},
        {PIDX_OutputID, &CScannerCtrl::m_OutputID, 9, 9, 9},
        {PIDX_ResultCodeExtended, &CScannerCtrl::m_ResultCodeExtended, 9, 9, 9},
        {PIDX_ServiceObjectVersion, nullptr, 0, 1013005, 1013005},
        {PIDX_AutoDisable, &CScannerCtrl::m_AutoDisable, 9, 9, 9},
        {PIDX_BinaryConversion, &CScannerCtrl::m_BinaryConversion, 9, 9, 9},
        {PIDX_DataCount, &CScannerCtrl::m_DataCount, 9, 0, 9},
        {PIDX_PowerNotify, &CScannerCtrl::m_PowerNotify, 9, 0, 9},
        {PIDX_PowerState, nullptr, 0, 0, OPOS_PS_UNKNOWN},
        {PIDX_CapPowerReporting, &CScannerCtrl::m_CapPowerReporting, 9, 0, 9},
        {PIDXScan_DecodeData, &CScannerCtrl::m_DecodeData, 9, 9, 9},
        {PIDXScan_ScanDataType, &CScannerCtrl::m_ScanDataType, 9, 0, 9},
        {PIDX_ResultCode, &CScannerCtrl::m_ResultCode, 9, OPOS_E_CLOSED,
         OPOS_SUCCESS},  // Open stores 0
        {PIDX_State, nullptr, 0, OPOS_S_CLOSED, OPOS_S_IDLE},
        {0, nullptr, 0, 0, 0},
        {15, nullptr, 0, 0, 0},
        {10003, nullptr, 0, 0, 0},
        {-1, nullptr, 0, 0, 0},
    };
    for (const NumberReadCase& c : cases) {
        SCOPED_TRACE(c.index);
        CScannerCtrl ctrl;
        if (c.member != nullptr) ctrl.*(c.member) = c.stored;
        EXPECT_EQ(c.closed, ctrl.GetPropertyNumber(c.index));
        ASSERT_EQ(0, ctrl.Open(2, COMM_HID, 0, false));
        EXPECT_EQ(c.opened, ctrl.GetPropertyNumber(c.index));
    }
}

TEST_F(PropertiesTest, ReadOnlyAndUnknownIndexesAreNotSet) {
    for (int32_t index : std::initializer_list<int32_t>{
             PIDX_Claimed, PIDX_OutputID, PIDX_ResultCode, PIDX_State, PIDX_DataCount,
             PIDX_PowerState, PIDXScan_ScanDataType, 0, 15, 99999}) {
        SCOPED_TRACE(index);
        auto ctrl = Opened(DEV_TYPE2, COMM_HID);
        ctrl->m_ResultCode = 55;
        const int32_t before = ctrl->GetPropertyNumber(index);
        ctrl->SetPropertyNumber(index, 1234);
        EXPECT_EQ(before, ctrl->GetPropertyNumber(index));
        EXPECT_EQ(55, ctrl->m_ResultCode.load());
    }
}

struct TextReadCase {
    int32_t index;
    std::string closed;
    std::string opened;
};

TEST_F(PropertiesTest, TextPropertiesReadByTheirRules) {
    const TextReadCase cases[] = {
        {PIDX_CheckHealthText, "Service Not connected", "Check Complete"},
        {PIDX_DeviceDescription, "Scanner", ""},
        {PIDX_DeviceName, "", "name"},
        {PIDX_ServiceObjectDescription, "Opos Scanner Service Object",
         "Opos Scanner Service Object"},
        {PIDXScan_ScanData, "", "data"},
        {PIDXScan_ScanDataLabel, "", "label"},
        {0, "", ""},
        {1010003, "", ""},
    };
    for (const TextReadCase& c : cases) {
        SCOPED_TRACE(c.index);
        CScannerCtrl ctrl;
        ctrl.m_ScanData = "data";
        ctrl.m_ScanDataLabel = "label";
        std::string out = "junk";
        ctrl.GetPropertyString(c.index, out);
        EXPECT_EQ(c.closed, out);
        ASSERT_EQ(0, ctrl.Open(2, COMM_HID, 0, false));
        ctrl.m_DeviceName = "name";
        ctrl.GetPropertyString(c.index, out);
        EXPECT_EQ(c.opened, out);
    }
}

// DeviceName and DeviceDescription are read while Open (on another Java thread) empties them:
// each read sees a whole text, never a torn or freed one.
TEST_F(PropertiesTest, DeviceTextsReadWhileOpenEmptiesThem) {
    const std::string longText(200, 'D');  // beyond any in-place buffer: reassigning frees
    CScannerCtrl ctrl;
    ASSERT_EQ(0, ctrl.Open(DEV_TYPE2, COMM_HID, 0, false));
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        std::string out;
        while (!stop.load()) {
            for (int32_t index : {PIDX_DeviceDescription, PIDX_DeviceName}) {
                ctrl.GetPropertyString(index, out);
                if (!out.empty() && out != longText) ++bad;
            }
        }
    });
    for (int i = 0; i < 2000; ++i) {
        {
            qds::plat::CLock lock(ctrl.m_csData);
            ctrl.m_DeviceDescription = longText;
            ctrl.m_DeviceName = longText;
        }
        ctrl.Close();
        ctrl.Open(DEV_TYPE2, COMM_HID, 0, false);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(0, bad.load());
}

TEST_F(PropertiesTest, ValuesSurviveAsStoredIncludingOddOnes) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID);
    ctrl->SetAutoDisable(2);
    ctrl->SetBinaryConversion(-4);
    EXPECT_EQ(2, ctrl->GetPropertyNumber(PIDX_AutoDisable));
    EXPECT_EQ(-4, ctrl->GetPropertyNumber(PIDX_BinaryConversion));
}

}  // namespace
