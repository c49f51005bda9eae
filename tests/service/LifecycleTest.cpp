// Claim, release, clear and close from every service state, against the framework test
// double: results, ResultCode, the state afterwards and exactly what reached the framework.
#include <functional>
#include <memory>

#include "tests/support/ReceiveFixture.h"
#include "tests/support/TraceCapture.h"

using namespace qds::OPOS;
using namespace receive_test;

namespace {

constexpr int32_t kUntouched = 77;  // ResultCode planted to see whether an operation sets it

enum class From { Closed, Opened, Claimed };
enum class Op { Close, Claim, Release, ClearInput };

struct LifecycleCase {
    From from;
    Op op;
    int32_t result;
    int32_t resultCode;
    std::vector<std::string> calls;  // framework calls made by the operation: fn or fn:bytes
    int32_t opened, claimed, state;
    bool fifoEmptied;
};

class LifecycleTest : public ReceiveTest {
  protected:
    // Device type 2 over "HID": the disable command is a text, the enable command writes
    // nothing, DisableCodeIDPre writes "#99904040;".
    std::unique_ptr<CScannerCtrl> Make(From from) {
        auto ctrl = std::make_unique<CScannerCtrl>();
        if (from != From::Closed) {
            EXPECT_EQ(0, ctrl->Open(DEV_TYPE2, COMM_HID, 0, false));
        }
        if (from == From::Claimed) {
            EXPECT_EQ(0, ctrl->ClaimDevice());
        }
        return ctrl;
    }
    static int32_t Run(CScannerCtrl& c, Op op) {
        switch (op) {
            case Op::Close:
                return c.Close();
            case Op::Claim:
                return c.ClaimDevice();
            case Op::Release:
                return c.Release();
            case Op::ClearInput:
                return c.ClearInput();
        }
        return -1;
    }
    // The framework calls recorded from index `from` on, with the bytes of writes and
    // whether handles were null.
    static std::vector<std::string> CallsSince(size_t from) {
        std::vector<std::string> out;
        const std::vector<fake::Call> calls = fake::FakeTavrix::Get().Calls();
        for (size_t i = from; i < calls.size(); ++i) {
            const fake::Call& c = calls[i];
            std::string s = c.fn;
            if (c.fn == "write") s += ":" + c.bytes;
            if ((c.fn == "close" || c.fn == "clear") && c.handle == nullptr) s += ":null";
            if (c.fn == "open")
                s += ":" + std::string(c.type.begin(), c.type.end()) +
                     (c.paramsNull ? "" : "," + std::string(c.params.begin(), c.params.end()));
            out.push_back(s);
        }
        return out;
    }
};

TEST_F(LifecycleTest, EveryOperationFromEveryState) {
    const LifecycleCase cases[] = {
        {From::Closed, Op::Close, OPOS_E_CLOSED, kUntouched, {}, 0, 0, OPOS_S_CLOSED, false},
        {From::Closed, Op::Claim, OPOS_E_CLOSED, kUntouched, {}, 0, 0, OPOS_S_CLOSED, false},
        {From::Closed, Op::Release, OPOS_E_CLOSED, kUntouched, {}, 0, 0, OPOS_S_CLOSED, false},
        {From::Closed,
         Op::ClearInput,
         OPOS_E_CLOSED,
         OPOS_E_CLOSED,
         {},
         0,
         0,
         OPOS_S_CLOSED,
         false},
        {From::Opened,
         Op::Close,
         OPOS_SUCCESS,
         kUntouched,
         {"close:null"},
         0,
         0,
         OPOS_S_CLOSED,
         true},
        {From::Opened,
         Op::Claim,
         OPOS_SUCCESS,
         OPOS_SUCCESS,
         {"open:HID", "register", "write:#99900102;", "write:#99904040;"},
         1,
         1,
         OPOS_S_IDLE,
         false},
        {From::Opened, Op::Release, OPOS_E_NOTCLAIMED, kUntouched, {}, 1, 0, OPOS_S_IDLE, false},
        {From::Opened,
         Op::ClearInput,
         OPOS_SUCCESS,
         OPOS_SUCCESS,
         {"clear:null"},
         1,
         0,
         OPOS_S_IDLE,
         true},
        {From::Claimed,
         Op::Close,
         OPOS_SUCCESS,
         OPOS_SUCCESS,
         {"write:#99904040;", "close"},
         0,
         0,
         OPOS_S_CLOSED,
         true},
        {From::Claimed, Op::Claim, OPOS_SUCCESS, OPOS_SUCCESS, {}, 1, 1, OPOS_S_IDLE, false},
        {From::Claimed,
         Op::Release,
         OPOS_SUCCESS,
         OPOS_SUCCESS,
         {"write:#99904040;"},
         1,
         0,
         OPOS_S_IDLE,
         true},
        {From::Claimed,
         Op::ClearInput,
         OPOS_SUCCESS,
         OPOS_SUCCESS,
         {"clear"},
         1,
         1,
         OPOS_S_IDLE,
         true},
    };
    for (const LifecycleCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "from " << static_cast<int>(c.from) << " op " << static_cast<int>(c.op));
        fake::FakeTavrix::Get().Reset();
        auto ctrl = Make(c.from);
        ctrl->m_ResultCode = kUntouched;
        ctrl->PushFifoData("cQUEUED");
        const size_t before = fake::FakeTavrix::Get().Calls().size();
        EXPECT_EQ(c.result, Run(*ctrl, c.op));
        EXPECT_EQ(c.resultCode, ctrl->m_ResultCode.load());
        EXPECT_EQ(c.calls, CallsSince(before));
        EXPECT_EQ(c.opened, ctrl->m_bOpened.load());
        EXPECT_EQ(c.claimed, ctrl->m_Claimed.load());
        EXPECT_EQ(c.state, ctrl->m_State.load());
        qds::plat::CLock lock(ctrl->m_csData);
        EXPECT_EQ(c.fifoEmptied ? 0u : 1u, ctrl->m_FifoData.size());
        EXPECT_EQ(c.fifoEmptied ? 0 : 1, ctrl->m_DataCount.load());
        if (c.op == Op::Close && c.result == 0) {
            EXPECT_EQ(nullptr, ctrl->m_hTvx.load());
        }
    }
}

TEST_F(LifecycleTest, ClaimOpensTheTransportByCommunicationType) {
    struct Case {
        int32_t commuType, comPort;
        int32_t result;
        std::vector<std::string> calls;
    } cases[] = {
        // A claim of device type 4 ends with the Code ID prefix switched to match DecodeData
        // (0): the command, with the end marker on a serial line.
        {COMM_SERIAL,
         3,
         OPOS_SUCCESS,
         {"open:COM,com=3;baud=9600", "register", "write:#99904040;", "write:%%%%"}},
        {COMM_SERIAL,
         12,
         OPOS_SUCCESS,
         {"open:COM,com=12;baud=9600", "register", "write:#99904040;", "write:%%%%"}},
        {COMM_UDP, 0, OPOS_SUCCESS, {"open:udp", "register", "write:#99904040;"}},
        {COMM_HID, 0, OPOS_SUCCESS, {"open:HID", "register", "write:#99904040;"}},
        {COMM_COM1, 0, OPOS_E_NOEXIST, {}},
        {5, 0, OPOS_E_NOEXIST, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commuType);
        fake::FakeTavrix::Get().Reset();
        CScannerCtrl ctrl;
        ASSERT_EQ(0, ctrl.Open(DEV_TYPE4, c.commuType, c.comPort, false));
        EXPECT_EQ(c.result, ctrl.ClaimDevice());
        EXPECT_EQ(c.result, ctrl.m_ResultCode.load());
        EXPECT_EQ(c.calls, CallsSince(0));
        if (c.result == 0) {
            const std::vector<fake::Call> calls = fake::FakeTavrix::Get().Calls();
            EXPECT_EQ(1, calls[0].flag);
            EXPECT_EQ(calls[0].handle, calls[1].handle);
            EXPECT_EQ(0, calls[1].flag);
            EXPECT_EQ(calls[0].handle, ctrl.m_hTvx.load());
            EXPECT_EQ(0, ctrl.m_DeviceEnabled.load());
        }
        ctrl.Close();
    }
}

TEST_F(LifecycleTest, FailedOpenOfTheTransport) {
    fake::FakeTavrix::Get().SetOpenFails(true);
    testing_support::TraceCapture trace;
    CScannerCtrl ctrl;
    ASSERT_EQ(0, ctrl.Open(DEV_TYPE3, COMM_HID, 0, false));
    EXPECT_EQ(OPOS_E_ILLEGAL, ctrl.ClaimDevice());
    EXPECT_EQ(OPOS_E_ILLEGAL, ctrl.m_ResultCode.load());
    EXPECT_EQ(0, ctrl.m_Claimed.load());
    EXPECT_EQ(std::vector<std::string>{"open:HID"}, CallsSince(0));
    bool logged = false;
    for (const std::string& l : trace.Lines())
        logged |= l.find("[Error]  ") != std::string::npos &&
                  l.find("tvx_open error!CommuTpye:3") != std::string::npos;
    EXPECT_TRUE(logged);
}

// Device type 3: the claim frame's answer decides the claim.
TEST_F(LifecycleTest, ClaimOfDeviceTypeThreeFollowsTheDevicesAnswer) {
    const std::string claim(reinterpret_cast<const char*>(kFrameClaim), kFrameSize);
    const std::string disable(reinterpret_cast<const char*>(kFrameScanDisable), kFrameSize);
    struct Case {
        const char* name;
        int answer;  // byte the device sends back to the claim frame; -1: nothing
        int32_t result;
        int32_t claimed;
        std::vector<std::string> writes;
        int looks;  // 10 ms looks of the claim frame's acknowledgement wait
        const char* logLine;
    } cases[] = {
        {"acknowledged", 0x06, OPOS_SUCCESS, 1, {claim, disable}, 1, nullptr},
        {"refused with NAK", 0x15, OPOS_E_FAILURE, 0, {claim}, 1, "Claim cmd ret:-4!"},
        {"no answer", -1, OPOS_E_TIMEOUT, 0, {claim}, 60, "Claim cmd ret:-3!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeTavrix::Get().Reset();
        testing_support::TraceCapture trace;
        CScannerCtrl ctrl;
        ASSERT_EQ(0, ctrl.Open(DEV_TYPE3, COMM_HID, 0, false));
        // The answer comes through the registered callback as soon as the claim frame is
        // written; the scan-disable frame that follows a good claim gets an ACK too.
        int looksAtClaim = -1;
        fake::FakeTavrix::Get().SetWriteHook([&](const std::string& bytes) {
            if (bytes == claim) looksAtClaim = g_ackLooks.load();
            if (c.answer >= 0) {
                const uint8_t b = static_cast<uint8_t>(c.answer);
                ReceiveNotify(&b, 1, &ctrl);
            }
        });
        g_ackLooks = 0;
        EXPECT_EQ(c.result, ctrl.ClaimDevice());
        fake::FakeTavrix::Get().SetWriteHook(nullptr);
        EXPECT_EQ(c.result, ctrl.m_ResultCode.load());
        EXPECT_EQ(c.claimed, ctrl.m_Claimed.load());
        EXPECT_EQ(c.writes, fake::FakeTavrix::Get().Writes());
        ASSERT_EQ(0, looksAtClaim);
        // Looks of the claim frame's wait alone (a good claim's disable frame adds one more).
        EXPECT_EQ(c.looks + (c.result == 0 ? 1 : 0), g_ackLooks.load());
        if (c.logLine != nullptr) {
            bool logged = false;
            for (const std::string& l : trace.Lines())
                logged |= l.find("[Error]  ") != std::string::npos &&
                          l.find(c.logLine) != std::string::npos;
            EXPECT_TRUE(logged) << c.logLine;
            // The channel stays open; the next ClaimDevice closes it and opens a new one.
            const TVX_HANDLE first = ctrl.m_hTvx.load();
            ASSERT_NE(nullptr, first);
            EXPECT_EQ(0u, fake::FakeTavrix::Get().CountOf("close"));
            ctrl.ClaimDevice();
            const std::vector<fake::Call> calls = fake::FakeTavrix::Get().Calls();
            bool closedFirst = false;
            for (const fake::Call& call : calls)
                closedFirst |= call.fn == "close" && call.handle == first;
            EXPECT_TRUE(closedFirst);
            EXPECT_NE(first, ctrl.m_hTvx.load());
        }
        ctrl.Close();
    }
}

// A real acknowledgement wait, answered from the framework's own delivery thread.
TEST_F(LifecycleTest, ClaimAndReleaseOfDeviceTypeThreeWithAcknowledgementsFromAnotherThread) {
    SetCommandSleep(nullptr);
    fake::FakeTavrix::Get().SetWriteHook([](const std::string& bytes) {
        if (bytes.size() == kFrameSize) fake::FakeTavrix::Get().Deliver(Bytes({0x06}));
    });
    testing_support::TraceCapture trace;
    CScannerCtrl ctrl;
    ASSERT_EQ(0, ctrl.Open(DEV_TYPE3, COMM_HID, 0, false));
    EXPECT_EQ(0, ctrl.ClaimDevice());
    EXPECT_EQ(1, ctrl.m_Claimed.load());
    EXPECT_EQ(0, ctrl.Release());
    EXPECT_TRUE(trace.Contains("Sent Release cmd return:0!"));
    EXPECT_EQ(1, ctrl.m_DeviceEnabled.load());
    EXPECT_EQ(0, ctrl.Close());
    const std::vector<std::string> writes = fake::FakeTavrix::Get().Writes();
    ASSERT_EQ(4u, writes.size());  // claim, scan disable, release, scan enable
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(kFrameRelease), kFrameSize), writes[2]);
}

TEST_F(LifecycleTest, CloseWhileClaimedRunsReleaseInsideClose) {
    CScannerCtrl ctrl;
    ASSERT_EQ(0, ctrl.Open(DEV_TYPE2, COMM_HID, 0, false));
    ASSERT_EQ(0, ctrl.ClaimDevice());
    testing_support::TraceCapture trace;
    EXPECT_EQ(0, ctrl.Close());
    const std::vector<std::string> m = trace.Messages();
    std::vector<std::string> scopes;
    for (const std::string& line : m)
        if (line.find("::Close ") != std::string::npos ||
            line.find("::Release ") != std::string::npos)
            scopes.push_back(line);
    const std::vector<std::string> want = {
        "qds::OPOS::CScannerCtrl::Close [Enter] {",
        "  qds::OPOS::CScannerCtrl::Release [Enter] {",
        "  qds::OPOS::CScannerCtrl::Release [Exit]  }",
        "qds::OPOS::CScannerCtrl::Close [Exit]  }",
    };
    EXPECT_EQ(want, scopes);
    EXPECT_EQ(OPOS_S_CLOSED, ctrl.m_State.load());
    EXPECT_EQ(0, ctrl.m_Claimed.load());
    EXPECT_EQ(1, ctrl.m_DeviceEnabled.load());
}

TEST_F(LifecycleTest, ClaimTracesTheSuffixSettingItFinds) {
    for (int suffix : {0, 1}) {
        SCOPED_TRACE(suffix);
        CScannerCtrl ctrl;
        ASSERT_EQ(0, ctrl.Open(DEV_TYPE2, COMM_HID, 0, false));
        ctrl.m_bSuffix = static_cast<uint8_t>(suffix);
        testing_support::TraceCapture trace;
        ASSERT_EQ(0, ctrl.ClaimDevice());
        EXPECT_TRUE(trace.Contains(std::string("  qds::OPOS::CScannerCtrl::") +
                                   (suffix ? "EnableBarcodeSuf" : "DisableBarcodeSuf") +
                                   " [Enter] {"));
        EXPECT_FALSE(trace.Contains(std::string("  qds::OPOS::CScannerCtrl::") +
                                    (suffix ? "DisableBarcodeSuf" : "EnableBarcodeSuf") +
                                    " [Enter] {"));
        ctrl.Close();
    }
}

}  // namespace

namespace {

// Device type 3, AutoDisable 1, a scan right behind the claim's ACK in one chunk, handed over
// on the test double's own thread while ClaimDevice waits: the AutoDisable disable written on
// that thread neither clears the acknowledgement nor waits for one, so the claim the scanner
// accepted is reported as accepted.
TEST_F(LifecycleTest, AScanRightBehindTheClaimsAckLeavesTheClaimAccepted) {
    const std::string claim(reinterpret_cast<const char*>(kFrameClaim), kFrameSize);
    const std::string disable(reinterpret_cast<const char*>(kFrameScanDisable), kFrameSize);
    const std::string packet = PacketV1(0x02, "4006381333931");
    CScannerCtrl ctrl;
    ASSERT_EQ(0, ctrl.Open(DEV_TYPE3, COMM_HID, 0, false));
    ctrl.m_DeviceEnabled = 1;  // as a Release leaves it
    ctrl.SetAutoDisable(1);
    int looksAfterDelivery = -1;
    fake::FakeTavrix::Get().SetWriteHook([&](const std::string& bytes) {
        if (bytes != claim) return;
        fake::FakeTavrix::Get().Deliver(Bytes({0x06}) + packet);
        fake::FakeTavrix::Get().WaitIdle();  // the chunk has been framed and applied
        looksAfterDelivery = g_ackLooks.load();
    });
    g_ackLooks = 0;
    EXPECT_EQ(OPOS_SUCCESS, ctrl.ClaimDevice());
    fake::FakeTavrix::Get().SetWriteHook(nullptr);
    EXPECT_EQ(1, ctrl.m_Claimed.load());
    EXPECT_EQ(0, looksAfterDelivery);  // the disable on the receive thread did not wait
    // The scan was queued; the bytes written are unchanged: claim, the AutoDisable disable,
    // then the claim's own disable.
    EXPECT_EQ(1, ctrl.GetDataCount());
    EXPECT_EQ((std::vector<std::string>{claim, disable, disable}),
              fake::FakeTavrix::Get().Writes());
    ctrl.Close();
}

// ClaimDevice sets the Code ID prefix to match DecodeData (types 1, 2, 4), so labels keep
// their first character however DecodeData was left, also after a Release switched it off.
TEST_F(LifecycleTest, ClaimSetsTheCodeIdPrefixAndLabelsStayWhole) {
    const std::string label = "4006381333931";
    struct Case {
        int32_t devType;
        int32_t decode;
        const char* command;  // Code ID command written at the claim
        const char* prefix;   // what the scanner then puts in front of a label
        int32_t type;         // ScanDataType delivered
    } cases[] = {
        {DEV_TYPE1, 0, "QDS0307000", "", 0}, {DEV_TYPE1, 1, "QDS0307010", "c", 101},
        {DEV_TYPE2, 0, "#99904040;", "", 0}, {DEV_TYPE2, 1, "#99904041;", "d", 104},
        {DEV_TYPE4, 0, "#99904040;", "", 0}, {DEV_TYPE4, 1, "#99904041;", "g", 103},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.devType << " decode " << c.decode);
        fake::FakeTavrix::Get().Reset();
        ResetReceiveState();
        CScannerCtrl ctrl;
        ASSERT_EQ(0, ctrl.Open(c.devType, COMM_HID, 0, false));
        ctrl.SetDecodeData(c.decode);
        // A claim and a Release first, as an application that claims again: Release switches
        // the prefix off.
        ASSERT_EQ(0, ctrl.ClaimDevice());
        ASSERT_EQ(0, ctrl.Release());
        const size_t from = fake::FakeTavrix::Get().Writes().size();
        ASSERT_EQ(0, ctrl.ClaimDevice());
        const std::vector<std::string> writes = fake::FakeTavrix::Get().Writes();
        ASSERT_LT(from, writes.size());
        EXPECT_EQ(c.command, writes.back());
        ctrl.SetDeviceEnabled(1);
        fake::FakeTavrix::Get().Deliver(c.prefix + label);
        fake::FakeTavrix::Get().WaitIdle();
        ctrl.SetDataEventEnabled(1);
        std::string data;
        ctrl.GetPropertyString(PIDXScan_ScanData, data);
        EXPECT_EQ(label, data);
        EXPECT_EQ(c.type, ctrl.GetPropertyNumber(PIDXScan_ScanDataType));
        ctrl.Close();
    }
}

}  // namespace
