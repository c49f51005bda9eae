// The service object: its initial data model, Open with its result codes and messages, the
// "Suffix" setting read at every Open, and destruction. Each test builds its own object.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jni/JNIEvents.h"
#include "platform/registry_testing.h"
#include "service/ScannerCtrl.h"
#include "tests/support/TraceCapture.h"

namespace {

using namespace qds::OPOS;
using qds::plat::RegView;
using qds::plat::testing::CScopedRegistry;
using testing_support::TraceCapture;

const char* const kSuffixKey = "SOFTWARE\\OLEForRetail\\ServiceOPOS\\Scanner";
const char* const kOpenEnter = "qds::OPOS::CScannerCtrl::Open [Enter] {";
const char* const kOpenExit = "qds::OPOS::CScannerCtrl::Open [Exit]  }";

class ScannerCtrlTest : public ::testing::Test {
  protected:
    CScopedRegistry m_reg{{{RegView::View64, kSuffixKey}}};
};

TEST_F(ScannerCtrlTest, InitialDataModel) {
    CScannerCtrl c;
    EXPECT_EQ(c.m_bSuffix.load(), 0);
    EXPECT_EQ(c.m_bKeepDataEventEnabled.load(), 0);
    EXPECT_EQ(c.m_Claimed.load(), 0);
    EXPECT_EQ(c.m_State.load(), OPOS_S_CLOSED);
    EXPECT_EQ(c.m_ServiceObjectVersion.load(), 1013005);
    EXPECT_EQ(c.m_PowerState.load(), OPOS_PS_UNKNOWN);
    EXPECT_EQ(c.m_ResultCode.load(), 0);
    EXPECT_EQ(c.m_DataCount.load(), 0);
    EXPECT_EQ(c.m_pJniEvents.load(), nullptr);
    EXPECT_EQ(c.m_hTvx.load(), nullptr);
    EXPECT_EQ(c.m_bOpened.load(), 0);
    EXPECT_EQ(c.m_AddOn.hModule, nullptr);
    EXPECT_EQ(c.m_AddOn.pfnOutput, nullptr);
    EXPECT_EQ(c.m_AddOn.PulseOnScan, 0);
    EXPECT_EQ(c.m_AddOn.PulseMs, 50);
    EXPECT_EQ(c.m_ServiceObjectDescription, "Opos Scanner Service Object");
    EXPECT_EQ(c.m_DeviceDescription, "Scanner");
    EXPECT_EQ(c.m_DeviceName, "");
    EXPECT_EQ(c.CheckHealthText(), "Service Not connected");
}

struct OpenCase {
    int32_t commuType;
    int32_t port;
    int32_t result;
    int32_t opened;
    int32_t comPort;
    std::vector<std::string> messages;  // between the enter and exit lines
};

TEST_F(ScannerCtrlTest, OpenByCommunicationType) {
    const OpenCase cases[] = {
        {COMM_COM1, 0, OPOS_SUCCESS, 1, 1, {"COM1"}},
        {COMM_COM1, 7, OPOS_SUCCESS, 1, 1, {"COM1"}},
        {COMM_SERIAL, 5, OPOS_SUCCESS, 1, 5, {"COM5"}},
        {COMM_SERIAL, -2, OPOS_SUCCESS, 1, -2, {"COM-2"}},
        {COMM_SERIAL, 0, OPOS_E_NOEXIST, 0, 0, {}},
        {COMM_UDP, 0, OPOS_SUCCESS, 1, 0, {"USB"}},
        {COMM_HID, 9, OPOS_SUCCESS, 1, 0, {"HID"}},
        {4, 0, OPOS_SUCCESS, 1, 0, {}},
        {-1, 0, OPOS_SUCCESS, 1, 0, {}},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE("communication type " + std::to_string(c.commuType) + ", port " +
                     std::to_string(c.port));
        CScannerCtrl ctrl;
        ctrl.m_ResultCode = 77;
        TraceCapture cap;
        EXPECT_EQ(ctrl.Open(DEV_TYPE3, c.commuType, c.port, true), c.result);
        std::vector<std::string> want = {kOpenEnter};
        want.insert(want.end(), c.messages.begin(), c.messages.end());
        want.push_back(kOpenExit);
        EXPECT_EQ(cap.Messages(), want);
        EXPECT_EQ(ctrl.m_bOpened.load(), c.opened);
        EXPECT_EQ(ctrl.m_State.load(), c.opened ? OPOS_S_IDLE : OPOS_S_CLOSED);
        EXPECT_EQ(ctrl.m_ComPort.load(), c.comPort);
        EXPECT_EQ(ctrl.m_ResultCode.load(), 0);
        // Stored before the port test, so they hold also when Open fails.
        EXPECT_EQ(ctrl.m_DevType.load(), DEV_TYPE3);
        EXPECT_EQ(ctrl.m_CommuType.load(), c.commuType);
        EXPECT_EQ(ctrl.m_bKeepDataEventEnabled.load(), 1);
        EXPECT_EQ(ctrl.m_DeviceDescription, "");
        EXPECT_EQ(ctrl.CheckHealthText(), c.opened ? "Check Complete" : "Service Not connected");
    }
}

TEST_F(ScannerCtrlTest, OpenTwiceIsIllegalAndChangesNothing) {
    CScannerCtrl c;
    ASSERT_EQ(c.Open(DEV_TYPE1, COMM_SERIAL, 4, false), OPOS_SUCCESS);
    c.m_ResultCode = 55;
    c.m_DeviceDescription = "kept";
    ASSERT_TRUE(m_reg.SetDword(RegView::View64, kSuffixKey, "Suffix", 1));
    TraceCapture cap;
    EXPECT_EQ(c.Open(DEV_TYPE2, COMM_HID, 0, true), OPOS_E_ILLEGAL);
    EXPECT_EQ(c.m_ResultCode.load(), 55);
    EXPECT_EQ(c.m_DevType.load(), DEV_TYPE1);
    EXPECT_EQ(c.m_CommuType.load(), COMM_SERIAL);
    EXPECT_EQ(c.m_ComPort.load(), 4);
    EXPECT_EQ(c.m_bKeepDataEventEnabled.load(), 0);
    EXPECT_EQ(c.m_bSuffix.load(), 0);  // the registry is not read
    EXPECT_EQ(c.m_DeviceDescription, "kept");
    EXPECT_EQ(c.m_State.load(), OPOS_S_IDLE);
    const std::vector<std::string> want = {kOpenEnter, kOpenExit};
    EXPECT_EQ(cap.Messages(), want);
}

TEST_F(ScannerCtrlTest, OpenAfterAFailedOpenSucceeds) {
    CScannerCtrl c;
    ASSERT_EQ(c.Open(DEV_TYPE1, COMM_SERIAL, 0, false), OPOS_E_NOEXIST);
    EXPECT_EQ(c.Open(DEV_TYPE1, COMM_SERIAL, 2, false), OPOS_SUCCESS);
    EXPECT_EQ(c.m_ComPort.load(), 2);
}

TEST_F(ScannerCtrlTest, DeviceDescriptionIsEmptiedByOpenAndDeviceNameStaysEmpty) {
    CScannerCtrl c;
    EXPECT_EQ(c.m_DeviceDescription, "Scanner");
    EXPECT_EQ(c.m_DeviceName, "");
    ASSERT_EQ(c.Open(DEV_TYPE3, COMM_HID, 0, false), OPOS_SUCCESS);
    EXPECT_EQ(c.m_DeviceDescription, "");
    EXPECT_EQ(c.m_DeviceName, "");
}

TEST_F(ScannerCtrlTest, OpenKeepsOtherPropertiesAndReservesRoom) {
    CScannerCtrl c;
    c.m_DataEventEnabled = 1;
    c.m_DeviceEnabled = 1;
    c.m_FreezeEvents = 1;
    c.m_AutoDisable = 1;
    c.m_BinaryConversion = 1;
    c.m_DecodeData = 1;
    c.m_RecvText = "partial";
    ASSERT_EQ(c.Open(DEV_TYPE3, COMM_HID, 0, false), OPOS_SUCCESS);
    EXPECT_EQ(c.m_DataEventEnabled.load(), 1);
    EXPECT_EQ(c.m_DeviceEnabled.load(), 1);
    EXPECT_EQ(c.m_FreezeEvents.load(), 1);
    EXPECT_EQ(c.m_AutoDisable.load(), 1);
    EXPECT_EQ(c.m_BinaryConversion.load(), 1);
    EXPECT_EQ(c.m_DecodeData.load(), 1);
    EXPECT_EQ(c.m_Claimed.load(), 0);
    EXPECT_EQ(c.m_RecvText, "partial");
    EXPECT_GE(c.m_RecvText.capacity(), 1024u);
    EXPECT_GE(c.m_PopText.capacity(), 1024u);
    EXPECT_GE(c.m_StringPool.capacity(), 32u);
}

// How the registry's "Suffix" sets the flag; without a value the flag keeps what it had.
TEST_F(ScannerCtrlTest, SuffixSettingReadAtOpen) {
    enum class Setup { Dword, Text, NoValue, NoKey };
    const struct {
        const char* what;
        Setup setup;
        uint32_t dword;
        uint8_t before;
        uint8_t after;
    } cases[] = {
        {"1", Setup::Dword, 1, 0, 1},
        {"7", Setup::Dword, 7, 0, 1},
        {"0", Setup::Dword, 0, 1, 0},
        {"-1", Setup::Dword, 0xFFFFFFFFu, 1, 0},
        {"most negative", Setup::Dword, 0x80000000u, 1, 0},
        {"text '1', read as its bytes", Setup::Text, 0, 0, 1},
        {"no value, flag clear", Setup::NoValue, 0, 0, 0},
        {"no value, flag set", Setup::NoValue, 0, 1, 1},
        {"no key, flag set", Setup::NoKey, 0, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(m_reg.DeleteKey(RegView::View64, kSuffixKey));
        switch (c.setup) {
            case Setup::Dword:
                ASSERT_TRUE(m_reg.SetDword(RegView::View64, kSuffixKey, "Suffix", c.dword));
                break;
            case Setup::Text:
                ASSERT_TRUE(m_reg.SetString(RegView::View64, kSuffixKey, "Suffix", "1"));
                break;
            case Setup::NoValue:
                ASSERT_TRUE(m_reg.SetDword(RegView::View64, kSuffixKey, "Other", 1));
                break;
            case Setup::NoKey:
                break;
        }
        CScannerCtrl ctrl;
        ctrl.m_bSuffix = c.before;
        ASSERT_EQ(ctrl.Open(DEV_TYPE3, COMM_HID, 0, false), OPOS_SUCCESS);
        EXPECT_EQ(ctrl.m_bSuffix.load(), c.after);
    }
}

TEST_F(ScannerCtrlTest, SuffixIsReadAgainAtEveryOpen) {
    CScannerCtrl c;
    ASSERT_TRUE(m_reg.SetDword(RegView::View64, kSuffixKey, "Suffix", 1));
    ASSERT_EQ(c.Open(DEV_TYPE3, COMM_HID, 0, false), OPOS_SUCCESS);
    EXPECT_EQ(c.m_bSuffix.load(), 1);
    c.m_bOpened = 0;  // as Close leaves it
    ASSERT_TRUE(m_reg.SetDword(RegView::View64, kSuffixKey, "Suffix", 0));
    ASSERT_EQ(c.Open(DEV_TYPE3, COMM_HID, 0, false), OPOS_SUCCESS);
    EXPECT_EQ(c.m_bSuffix.load(), 0);
}

TEST_F(ScannerCtrlTest, SuffixFailedOpenDoesNotReadTheRegistry) {
    CScannerCtrl c;
    ASSERT_TRUE(m_reg.SetDword(RegView::View64, kSuffixKey, "Suffix", 1));
    ASSERT_EQ(c.Open(DEV_TYPE3, COMM_SERIAL, 0, false), OPOS_E_NOEXIST);
    EXPECT_EQ(c.m_bSuffix.load(), 0);
}

TEST_F(ScannerCtrlTest, DestroyingWithoutASinkWritesNoSinkLines) {
    TraceCapture cap;
    { CScannerCtrl c; }
    EXPECT_EQ(cap.Lines().size(), 0u);
}

TEST_F(ScannerCtrlTest, DestroyingWithASinkDestroysIt) {
    TraceCapture cap;
    {
        CScannerCtrl c;
        c.m_pJniEvents = new JNIEvents(nullptr, nullptr, nullptr);
    }
    const std::vector<std::string> want = {"qds::OPOS::JNIEvents::~JNIEvents [Enter] {",
                                           "qds::OPOS::JNIEvents::~JNIEvents [Exit]  }"};
    EXPECT_EQ(cap.Messages(), want);
}

}  // namespace
