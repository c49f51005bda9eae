// The add-on output hook with our recording add-on library loaded for real.
#include <atomic>
#include <thread>

#include "platform/dynlib.h"
#include "service/Commands.h"
#include "tests/support/CoreFixture.h"

using namespace qds::OPOS;

namespace {

constexpr const char* kAddOnFile = TEST_ADDON_FILE;
constexpr const char* kAddOnFunction = "TestAddOnOutput";

struct OutputCall {
    uint32_t word, channel, level;
    bool operator==(const OutputCall& o) const {
        return word == o.word && channel == o.channel && level == o.level;
    }
};
std::ostream& operator<<(std::ostream& os, const OutputCall& c) {
    return os << "(" << std::hex << c.word << "," << c.channel << "," << c.level << ")";
}

// Reads the add-on's record of calls through its own exports.
class AddOnRecord {
  public:
    AddOnRecord() {
        m_lib = qds::plat::LoadLib(kAddOnFile);
        m_reset =
            reinterpret_cast<void(KX_CDECL*)()>(qds::plat::GetSymbol(m_lib, "TestAddOnReset"));
        m_count = reinterpret_cast<int32_t(KX_CDECL*)()>(
            qds::plat::GetSymbol(m_lib, "TestAddOnCallCount"));
        m_get = reinterpret_cast<int32_t(KX_CDECL*)(int32_t, uint32_t*, uint32_t*, uint32_t*)>(
            qds::plat::GetSymbol(m_lib, "TestAddOnGetCall"));
    }
    ~AddOnRecord() {
        if (m_lib != nullptr) qds::plat::FreeLib(m_lib);
    }
    bool Loaded() const { return m_reset && m_count && m_get; }
    void Reset() { m_reset(); }
    std::vector<OutputCall> Calls() {
        std::vector<OutputCall> out;
        for (int32_t i = 0; i < m_count(); ++i) {
            OutputCall c{};
            m_get(i, &c.word, &c.channel, &c.level);
            out.push_back(c);
        }
        return out;
    }

  private:
    qds::plat::LibHandle m_lib = nullptr;
    void(KX_CDECL* m_reset)() = nullptr;
    int32_t(KX_CDECL* m_count)() = nullptr;
    int32_t(KX_CDECL* m_get)(int32_t, uint32_t*, uint32_t*, uint32_t*) = nullptr;
};

void NoSleep(uint32_t) {}

class AddOnTest : public core_test::CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_TRUE(m_record.Loaded()) << kAddOnFile;
        m_record.Reset();
        SetCommandSleep(&NoSleep);  // device type 3 waits for an acknowledgement
    }
    void TearDown() override {
        SetCommandSleep(nullptr);
        CoreTest::TearDown();
    }
    AddOnRecord m_record;
};

TEST_F(AddOnTest, PulseSetsThenClearsWithTheLowBytes) {
    CScannerCtrl ctrl;
    ctrl.LoadAddOn(kAddOnFile, kAddOnFunction, 0x1FF, 0x102, 0, 1, 0);
    EXPECT_TRUE(ctrl.AddOnPulse(0xCAFE0001u));
    EXPECT_TRUE(ctrl.AddOnSet(0x77u));
    const std::vector<OutputCall> expected = {
        {0xCAFE0001u, 0xFF, 0x02}, {0xCAFE0001u, 0xFF, 0x00}, {0x77u, 0xFF, 0x02}};
    EXPECT_EQ(expected, m_record.Calls());
}

TEST_F(AddOnTest, PulseTimeDefaultsTo50) {
    const std::pair<int32_t, int32_t> cases[] = {{0, 50}, {-5, 50}, {1, 1}, {80, 80}};
    for (const auto& c : cases) {
        CScannerCtrl ctrl;
        ctrl.LoadAddOn(kAddOnFile, kAddOnFunction, 1, 1, 0, c.first, 0);
        EXPECT_EQ(c.second, ctrl.m_AddOn.PulseMs) << c.first;
    }
}

TEST_F(AddOnTest, MissingLibraryOrFunctionLeavesTheHookInactive) {
    CScannerCtrl ctrl;
    ctrl.LoadAddOn(kAddOnFile, "NoSuchFunction", 1, 1, 1, 1, 0);
    EXPECT_NE(nullptr, ctrl.m_AddOn.hModule);
    EXPECT_FALSE(ctrl.AddOnPulse(1));
    EXPECT_FALSE(ctrl.AddOnSet(1));

    ctrl.LoadAddOn(kAddOnFile, kAddOnFunction, 3, 4, 1, 1, 0);
    EXPECT_TRUE(ctrl.AddOnSet(1));
    ctrl.LoadAddOn("no_such_addon_library_xyz", kAddOnFunction, 9, 9, 9, 9, 0);
    EXPECT_EQ(nullptr, ctrl.m_AddOn.hModule);
    EXPECT_EQ(3, ctrl.m_AddOn.Channel);  // settings of the earlier load are kept
    EXPECT_FALSE(ctrl.AddOnPulse(1));
    EXPECT_EQ(1u, m_record.Calls().size());
}

TEST_F(AddOnTest, SuffixFlagIsSetWhateverBecomesOfTheLibrary) {
    CScannerCtrl ctrl;
    ctrl.LoadAddOn(nullptr, nullptr, 0, 0, 0, 0, 5);
    EXPECT_EQ(1, ctrl.m_bSuffix.load());
    ctrl.LoadAddOn("no_such_addon_library_xyz", kAddOnFunction, 0, 0, 0, 0, 0);
    EXPECT_EQ(0, ctrl.m_bSuffix.load());
    ctrl.LoadAddOn(kAddOnFile, nullptr, 0, 0, 0, 0, 1);
    EXPECT_EQ(1, ctrl.m_bSuffix.load());
    EXPECT_EQ(nullptr, ctrl.m_AddOn.hModule);
}

TEST_F(AddOnTest, ChannelWordIsReadThroughTheHandle) {
    CScannerCtrl ctrl;
    EXPECT_EQ(0u, ctrl.ChannelWord());
    fake::FakeTavrix::Get().SetChannelWord(0xA1B2C3D4u);
    ctrl.m_hTvx = tvx_open(L"HID", nullptr, 1);
    EXPECT_EQ(0xA1B2C3D4u, ctrl.ChannelWord());
}

struct EnableCase {
    const char* name;
    int32_t devType;
    int32_t value;
    int32_t pulseOnScan;
    std::vector<OutputCall> calls;
};

TEST_F(AddOnTest, SetDeviceEnabledDrivesTheOutputOnlyForDeviceType1) {
    constexpr uint32_t kWord = 0x00C0FFEEu;
    const std::vector<OutputCall> pulse = {{kWord, 0x05, 0x01}, {kWord, 0x05, 0x00}};
    const std::vector<OutputCall> set = {{kWord, 0x05, 0x01}};
    const EnableCase cases[] = {
        {"type1 enable pulses", DEV_TYPE1, 1, 0, pulse},
        {"type1 disable sets", DEV_TYPE1, 0, 0, set},
        {"type1 enable with pulse-on-scan", DEV_TYPE1, 1, 1, pulse},
        {"type1 disable with pulse-on-scan", DEV_TYPE1, 0, 1, set},
        {"type1 any non-zero value enables", DEV_TYPE1, -3, 0, pulse},
        {"type2 enable", DEV_TYPE2, 1, 1, {}},
        {"type2 disable", DEV_TYPE2, 0, 1, {}},
        {"type3 enable", DEV_TYPE3, 1, 1, {}},
        {"type3 disable", DEV_TYPE3, 0, 1, {}},
        {"type4 enable", DEV_TYPE4, 1, 1, {}},
        {"type4 disable", DEV_TYPE4, 0, 1, {}},
    };
    for (const EnableCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_record.Reset();
        fake::FakeTavrix::Get().SetChannelWord(kWord);
        auto ctrl = Claimed(c.devType, COMM_SERIAL);
        ctrl->LoadAddOn(kAddOnFile, kAddOnFunction, 0x105, 0x301, c.pulseOnScan, 1, 0);
        ctrl->SetDeviceEnabled(c.value);
        EXPECT_EQ(c.calls, m_record.Calls());
        EXPECT_EQ(c.value, ctrl->m_DeviceEnabled.load());
    }
}

// One Java thread disables a device type 1 (the add-on gets the channel word) while another
// closes and claims again: the handle is never followed after tvx_close returned, and the
// add-on is never called with a word read from no channel (0) or from a closed one.
TEST_F(AddOnTest, CloseOnAnotherThreadNeverHandsTheAddOnAStaleWord) {
    constexpr uint32_t kWord = 0x00C0FFEEu;
    fake::FakeTavrix::Get().SetChannelWord(kWord);
    fake::FakeTavrix::Get().SetPoisonOnClose(true);
    CScannerCtrl ctrl;
    ASSERT_EQ(0, ctrl.Open(DEV_TYPE1, COMM_HID, 0, false));
    ctrl.LoadAddOn(kAddOnFile, kAddOnFunction, 1, 1, 0, 1, 0);
    ASSERT_EQ(0, ctrl.ClaimDevice());
    constexpr int kRounds = 400;
    std::atomic<bool> stop{false};
    std::thread setter([&] {
        while (!stop.load()) ctrl.SetDeviceEnabled(0);
    });
    for (int i = 0; i < kRounds; ++i) {
        ctrl.Close();
        ctrl.Open(DEV_TYPE1, COMM_HID, 0, false);
        ctrl.ClaimDevice();
    }
    stop = true;
    setter.join();
    ctrl.Close();
    const std::vector<OutputCall> calls = m_record.Calls();
    EXPECT_FALSE(calls.empty());
    for (const OutputCall& c : calls) ASSERT_EQ(kWord, c.word);
}

TEST_F(AddOnTest, NoCallWithoutAChannel) {
    auto ctrl = Opened(DEV_TYPE1, COMM_HID);
    ctrl->LoadAddOn(kAddOnFile, kAddOnFunction, 1, 1, 1, 1, 0);
    ctrl->SetDeviceEnabled(1);  // not claimed: refused
    EXPECT_EQ(OPOS_E_NOTCLAIMED, ctrl->m_ResultCode.load());
    ctrl->m_Claimed = 1;  // claimed but without a channel handle
    ctrl->SetDeviceEnabled(1);
    ctrl->SetDeviceEnabled(0);
    EXPECT_TRUE(m_record.Calls().empty());
}

}  // namespace
