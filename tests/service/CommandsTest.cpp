// The device command channel against the framework test double: exact write sequences,
// the acknowledgement wait and the fixed command table.
#include <atomic>
#include <chrono>
#include <mutex>

#include "service/Commands.h"
#include "tests/support/CoreFixture.h"
#include "tests/support/TraceCapture.h"

using namespace qds::OPOS;
using core_test::Bytes;

namespace {

// Replaces SendCommand's sleeps: records each pause among the writes and raises the
// acknowledgement flag during a chosen look of the wait.
struct SleepRecorder {
    std::mutex mu;
    std::vector<std::string> events;  // "W:<bytes>" and "P:<ms>" in order
    int looks = 0;
    int ackAtLook = 0;  // 0: never
    int32_t ackValue = ACK_RECEIVED;
    CScannerCtrl* ctrl = nullptr;
};
SleepRecorder* g_rec = nullptr;

void RecordingSleep(uint32_t ms) {
    std::lock_guard<std::mutex> lock(g_rec->mu);
    g_rec->events.push_back("P:" + std::to_string(ms));
    if (ms != kAckStepMs) return;
    if (++g_rec->looks == g_rec->ackAtLook) g_rec->ctrl->m_bAckReceived = g_rec->ackValue;
}

class CommandsTest : public core_test::CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        g_rec = &m_rec;
    }
    void TearDown() override {
        SetCommandSleep(nullptr);
        g_rec = nullptr;
        CoreTest::TearDown();
    }
    // Routes the pauses and the writes into one recorded sequence.
    void Record(CScannerCtrl* ctrl) {
        m_rec.ctrl = ctrl;
        SetCommandSleep(&RecordingSleep);
        fake::FakeTavrix::Get().SetWriteHook([this](const std::string& b) {
            std::lock_guard<std::mutex> lock(m_rec.mu);
            m_rec.events.push_back("W:" + b);
        });
    }
    SleepRecorder m_rec;
};

const std::string kFrameBytes(reinterpret_cast<const char*>(kFrameScanEnable), kFrameSize);

struct SequenceCase {
    const char* name;
    int32_t devType;
    int32_t commuType;
    std::string data;
    int32_t length;  // as passed to SendCommand
    std::vector<std::string> events;
};

TEST_F(CommandsTest, WritesExactSequencesWithPausesAroundSerialMarkers) {
    const std::string withNul = Bytes({'A', 0x00, 'B', 0x00, 'C'});
    const SequenceCase cases[] = {
        {"type3 frame over HID", DEV_TYPE3, COMM_HID, kFrameBytes, 9, {"W:" + kFrameBytes}},
        {"type3 frame over COM: no markers",
         DEV_TYPE3,
         COMM_SERIAL,
         kFrameBytes,
         9,
         {"W:" + kFrameBytes}},
        {"type2 text over COM",
         DEV_TYPE2,
         COMM_SERIAL,
         "#99900102;",
         -1,
         {"W:$$$$", "P:20", "W:#99900102;", "P:20", "W:%%%%"}},
        {"type4 text over COM: end marker only",
         DEV_TYPE4,
         COMM_SERIAL,
         "#99904041;",
         -1,
         {"W:#99904041;", "P:20", "W:%%%%"}},
        {"type2 empty text over COM: markers only",
         DEV_TYPE2,
         COMM_SERIAL,
         "",
         -1,
         {"W:$$$$", "P:20", "P:20", "W:%%%%"}},
        {"type2 empty text over udp: nothing", DEV_TYPE2, COMM_UDP, "", -1, {}},
        {"type2 text over udp: no markers", DEV_TYPE2, COMM_UDP, "#99900102;", 0, {"W:#99900102;"}},
        {"type1 text over COM: no markers",
         DEV_TYPE1,
         COMM_SERIAL,
         "QDS0307010",
         -1,
         {"W:QDS0307010"}},
        {"bytes with NUL, counted", DEV_TYPE3, COMM_HID, withNul, 5, {"W:" + withNul}},
        {"NUL-terminated text stops at NUL", DEV_TYPE1, COMM_HID, withNul, -1, {"W:A"}},
    };
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeTavrix::Get().Reset();
        m_rec.events.clear();
        auto ctrl = Claimed(c.devType, c.commuType);
        Record(ctrl.get());
        const std::string text = c.data + std::string(1, '\0');
        EXPECT_EQ(SEND_OK, ctrl->SendCommand(text.data(), 0, c.length));
        EXPECT_EQ(c.events, m_rec.events);
        for (const fake::Call& call : fake::FakeTavrix::Get().Calls()) {
            if (call.fn != "write") continue;
            EXPECT_EQ(100, call.timeoutMs);
            EXPECT_EQ(ctrl->m_hTvx.load(), call.handle);
        }
    }
}

TEST_F(CommandsTest, RealPausesSeparateMarkersFromTheText) {
    auto ctrl = Claimed(DEV_TYPE2, COMM_SERIAL);
    using Clock = std::chrono::steady_clock;
    std::vector<std::pair<std::string, Clock::time_point>> writes;
    fake::FakeTavrix::Get().SetWriteHook(
        [&writes](const std::string& b) { writes.emplace_back(b, Clock::now()); });
    ASSERT_EQ(SEND_OK, ctrl->SendCommand("#99900102;", 0, -1));
    ASSERT_EQ(3u, writes.size());
    EXPECT_EQ("$$$$", writes[0].first);
    EXPECT_EQ("#99900102;", writes[1].first);
    EXPECT_EQ("%%%%", writes[2].first);
    const auto atLeast = std::chrono::milliseconds(20);
    EXPECT_GE(writes[1].second - writes[0].second, atLeast);
    EXPECT_GE(writes[2].second - writes[1].second, atLeast);
}

struct WaitCase {
    const char* name;
    int32_t ackWaitMs;
    int ackAtLook;  // 0: no acknowledgement
    int32_t ackValue;
    int32_t result;
    int looks;
};

TEST_F(CommandsTest, AcknowledgementWaitLooksEveryStep) {
    const WaitCase cases[] = {
        {"no wait", 0, 0, ACK_RECEIVED, SEND_OK, 0},
        {"negative wait", -1, 0, ACK_RECEIVED, SEND_NEGATIVE_WAIT, 0},
        {"600 without ack: 60 looks", 600, 0, ACK_RECEIVED, SEND_NO_ACK, 60},
        {"5 without ack: one look", 5, 0, ACK_RECEIVED, SEND_NO_ACK, 1},
        {"10 without ack: one look", 10, 0, ACK_RECEIVED, SEND_NO_ACK, 1},
        {"11 without ack: two looks", 11, 0, ACK_RECEIVED, SEND_NO_ACK, 2},
        {"ack during the fourth step", 600, 4, ACK_RECEIVED, SEND_OK, 4},
        {"ack at the last look", 600, 60, ACK_RECEIVED, SEND_OK, 60},
        {"ack in the first step of a 5 ms wait", 5, 1, ACK_RECEIVED, SEND_OK, 1},
        {"NAK ends the wait with its own result", 600, 2, ACK_NAK, SEND_NAK, 2},
    };
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto ctrl = Claimed(DEV_TYPE3, COMM_HID);
        m_rec.events.clear();
        m_rec.looks = 0;
        m_rec.ackAtLook = c.ackAtLook;
        m_rec.ackValue = c.ackValue;
        Record(ctrl.get());
        EXPECT_EQ(c.result, ctrl->SendCommand(kFrameScanEnable, c.ackWaitMs, 9));
        EXPECT_EQ(c.looks, m_rec.looks);
    }
}

TEST_F(CommandsTest, StaleAcknowledgementIsClearedBeforeTheWrite) {
    auto ctrl = Claimed(DEV_TYPE3, COMM_HID);
    Record(ctrl.get());
    ctrl->m_bAckReceived = ACK_RECEIVED;
    EXPECT_EQ(SEND_NO_ACK, ctrl->SendCommand(kFrameScanEnable, 5, 9));
}

TEST_F(CommandsTest, ReplyDuringTheWriteCounts) {
    auto ctrl = Claimed(DEV_TYPE3, COMM_HID);
    Record(ctrl.get());
    CScannerCtrl* raw = ctrl.get();
    fake::FakeTavrix::Get().SetWriteHook(
        [raw](const std::string&) { raw->m_bAckReceived = ACK_RECEIVED; });
    EXPECT_EQ(SEND_OK, ctrl->SendCommand(kFrameScanEnable, 600, 9));
    EXPECT_EQ(1, m_rec.looks);
}

// The acknowledgement arrives on the framework's thread while the caller sleeps for real.
void KX_STDCALL AckingNotify(const uint8_t*, int32_t, void* context) {
    static_cast<CScannerCtrl*>(context)->m_bAckReceived = ACK_RECEIVED;
}

TEST_F(CommandsTest, AcknowledgementFromAnotherThreadEndsTheWait) {
    auto ctrl = Claimed(DEV_TYPE3, COMM_HID);
    tvx_register_notify(ctrl->m_hTvx, 0, &AckingNotify, ctrl.get());
    fake::FakeTavrix::Get().SetWriteHook(
        [](const std::string&) { fake::FakeTavrix::Get().Deliver("ack", 35); });
    EXPECT_EQ(SEND_OK, ctrl->SendCommand(kFrameClaim, 600, 9));
}

TEST_F(CommandsTest, NoAcknowledgementWaitsTheWholeTime) {
    auto ctrl = Claimed(DEV_TYPE3, COMM_HID);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SEND_NO_ACK, ctrl->SendCommand(kFrameClaim, 600, 9));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(600));
}

TEST_F(CommandsTest, NotClaimedWritesNothing) {
    for (int32_t claimed : {0, 2, -1}) {
        SCOPED_TRACE(claimed);
        auto ctrl = Claimed(DEV_TYPE2, COMM_SERIAL);
        ctrl->m_Claimed = claimed;
        ctrl->m_bAckReceived = ACK_RECEIVED;
        fake::FakeTavrix::Get().Reset();
        EXPECT_EQ(SEND_NOT_CLAIMED, ctrl->SendCommand("#99900102;", 600, -1));
        EXPECT_EQ(0u, fake::FakeTavrix::Get().CountOf("write"));
        EXPECT_EQ(ACK_RECEIVED, ctrl->m_bAckReceived.load());
    }
}

TEST_F(CommandsTest, ClaimedWithoutAChannelWritesNothing) {
    auto ctrl = Opened(DEV_TYPE2, COMM_SERIAL);
    ctrl->m_Claimed = 1;
    Record(ctrl.get());
    EXPECT_EQ(SEND_NO_ACK, ctrl->SendCommand("#99900102;", 5, -1));
    EXPECT_EQ(0u, fake::FakeTavrix::Get().CountOf("write"));
}

TEST_F(CommandsTest, SendCommandLogsHexLengthOrText) {
    testing_support::TraceCapture trace;
    auto ctrl = Claimed(DEV_TYPE3, COMM_HID);
    ctrl->SendCommand(kFrameClaim, 0, 9);
    ctrl->SendCommand("abc", 0, -1);
    ctrl->SendCommand(nullptr, 0, 0);  // defined outcome: the empty text
    EXPECT_TRUE(trace.Contains("SendCommand set HEX data!, len:9"));
    EXPECT_TRUE(trace.Contains("SendCommand data:abc!"));
    EXPECT_TRUE(trace.Contains("SendCommand data:!"));
    const std::vector<std::string> w = Writes();
    ASSERT_EQ(2u, w.size());
    EXPECT_EQ("abc", w[1]);
}

struct FrameCase {
    const uint8_t* frame;
    const char* digits;
};

TEST(CommandFrames, EachFrameCarriesItsDigitsAndCheckByte) {
    const FrameCase cases[] = {{kFrameClaim, "1331"},
                               {kFrameRelease, "1330"},
                               {kFrameScanEnable, "1321"},
                               {kFrameScanDisable, "1320"}};
    for (const FrameCase& c : cases) {
        SCOPED_TRACE(c.digits);
        EXPECT_EQ(0x7E, c.frame[0]);
        EXPECT_EQ(0x00, c.frame[1]);
        EXPECT_EQ(0x00, c.frame[2]);
        EXPECT_EQ(0x04, c.frame[3]);
        EXPECT_EQ(std::string(c.digits),
                  std::string(reinterpret_cast<const char*>(c.frame) + 4, 4));
        uint8_t x = 0;
        for (int i = 1; i <= 7; ++i) x ^= c.frame[i];
        EXPECT_EQ(static_cast<uint8_t>(~x), c.frame[8]);
    }
    EXPECT_EQ(0xFB, kFrameClaim[8]);  // XOR of 00 00 04 31 33 33 31 is 04
}

struct CodeIdCase {
    const char* name;
    int32_t devType;
    int32_t commuType;
    bool enable;
    std::vector<std::string> writes;
    std::vector<std::string> messages;  // besides the trace lines and SendCommand's own
};

TEST_F(CommandsTest, CodeIdPrefixCommandsByDeviceType) {
    const CodeIdCase cases[] = {
        {"type1 on", DEV_TYPE1, COMM_SERIAL, true, {"QDS0307010"}, {"EnableCodeIDPre!"}},
        {"type1 off", DEV_TYPE1, COMM_HID, false, {"QDS0307000"}, {"DisableCodeIDPre!"}},
        {"type2 on over COM",
         DEV_TYPE2,
         COMM_SERIAL,
         true,
         {"$$$$", "#99904041;", "%%%%"},
         {"EnableCodeIDPre!"}},
        {"type2 off over udp", DEV_TYPE2, COMM_UDP, false, {"#99904040;"}, {"DisableCodeIDPre!"}},
        {"type4 on over HID", DEV_TYPE4, COMM_HID, true, {"#99904041;"}, {"EnableCodeIDPre!"}},
        {"type4 off over COM",
         DEV_TYPE4,
         COMM_SERIAL,
         false,
         {"#99904040;", "%%%%"},
         {"DisableCodeIDPre!"}},
        {"type3 on",
         DEV_TYPE3,
         COMM_HID,
         true,
         {},
         {"EnableCodeIDPre!", "DevType3 Not Set CodeID"}},
        {"type3 off",
         DEV_TYPE3,
         COMM_HID,
         false,
         {},
         {"DisableCodeIDPre!", "DevType3 Not Set CodeID"}},
        {"other type on", 7, COMM_HID, true, {}, {"EnableCodeIDPre!", "SendCommand other dev!"}},
        {"other type off", 7, COMM_HID, false, {}, {"DisableCodeIDPre!"}},
    };
    for (const CodeIdCase& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeTavrix::Get().Reset();
        auto ctrl = Claimed(c.devType, c.commuType);
        Record(ctrl.get());  // the type 1 wait ends at once
        testing_support::TraceCapture trace;
        if (c.enable) {
            ctrl->EnableCodeIDPre();
        } else {
            ctrl->DisableCodeIDPre();
        }
        EXPECT_EQ(c.writes, Writes());
        std::vector<std::string> own;
        for (const std::string& m : trace.Messages()) {
            if (m.find("qds::OPOS::CScannerCtrl::") != std::string::npos) continue;
            if (m.rfind("SendCommand data:", 0) == 0) continue;
            own.push_back(m);
        }
        EXPECT_EQ(c.messages, own);
    }
}

TEST_F(CommandsTest, OtherDeviceTypeWarnsAtLevel3) {
    auto ctrl = Claimed(9, COMM_HID);
    testing_support::TraceCapture trace;
    ctrl->EnableCodeIDPre();
    bool found = false;
    for (const std::string& line : trace.Lines())
        if (line.find("[Warn]   SendCommand other dev!") != std::string::npos) found = true;
    EXPECT_TRUE(found);
}

TEST_F(CommandsTest, BarcodeSuffixOperationsOnlyTrace) {
    auto ctrl = Claimed(DEV_TYPE2, COMM_SERIAL);
    testing_support::TraceCapture trace;
    ctrl->EnableBarcodeSuf();
    ctrl->DisableBarcodeSuf();
    const std::vector<std::string> expected = {
        "qds::OPOS::CScannerCtrl::EnableBarcodeSuf [Enter] {",
        "qds::OPOS::CScannerCtrl::EnableBarcodeSuf [Exit]  }",
        "qds::OPOS::CScannerCtrl::DisableBarcodeSuf [Enter] {",
        "qds::OPOS::CScannerCtrl::DisableBarcodeSuf [Exit]  }",
    };
    EXPECT_EQ(expected, trace.Messages());
    EXPECT_EQ(0u, fake::FakeTavrix::Get().CountOf("write"));
}

}  // namespace
