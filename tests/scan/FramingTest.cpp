// The receive path against the framework test double: the three framings, reassembly across
// chunks with the gap and size limits, acknowledgements and the scan delivery order.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "platform/process.h"
#include "tests/support/ReceiveFixture.h"
#include "tests/support/TraceCapture.h"

using namespace qds::OPOS;
using namespace receive_test;

namespace {

struct Step {
    uint32_t advanceMs;  // tick advance before the chunk
    std::string chunk;
};

struct FramingCase {
    const char* name;
    int32_t devType;
    std::vector<Step> steps;
    std::vector<std::string> scans;  // queued, in order
    int32_t ack;                     // m_bAckReceived afterwards
    int32_t setupMode;               // m_bSetupMode afterwards
};

const std::string kLabel13 = "4006381333931";
const std::string kReply0 = Bytes({0x02, 0x00, 0x00, 0x02, 0x32, 0x30, 0xFF});
const std::string kReply1 = Bytes({0x02, 0x00, 0x00, 0x02, 0x32, 0x31, 0xFE});
// A complete packet used after a case to show that nothing was left in the buffer.
const std::string kProbe = PacketV1(0x07, "PROBE-LABEL");
const std::string kProbeRecord = RecordV1(0x07, "PROBE-LABEL");

class FramingTest : public ReceiveTest {
  protected:
    std::unique_ptr<CScannerCtrl> Claimed(int32_t devType) {
        auto ctrl = std::make_unique<CScannerCtrl>();
        EXPECT_EQ(0, ctrl->Open(devType, COMM_HID, 0, false));
        ctrl->m_Claimed = 1;
        ctrl->m_DeviceEnabled = 1;  // a disabled device's scans are dropped
        return ctrl;
    }
};

TEST_F(FramingTest, FramesChunksByDeviceType) {
    const std::string v1 = PacketV1(0x02, kLabel13);
    const std::string v2payload = Bytes({0x21, 0x00, 0x31, 0x00, 0x00}) + "QR-DATA";
    const std::string big(8188, 'x');  // 04 FE + 2 length bytes + 8188 = 8192 bytes
    const std::string tooBig(8189, 'y');
    const FramingCase cases[] = {
        // Device type 3.
        {"ACK, a v2 and a v1 packet in one chunk",
         DEV_TYPE3,
         {{0, Bytes({0x06}) + PacketV2(v2payload) + v1}},
         {RecordV2(v2payload), RecordV1(0x02, kLabel13)},
         ACK_RECEIVED,
         0},
        {"several v1 packets in one chunk",
         DEV_TYPE3,
         {{0, v1 + PacketV1(0x0D, "A") + PacketV1(0x05, "B2")}},
         {RecordV1(0x02, kLabel13), RecordV1(0x0D, "A"), RecordV1(0x05, "B2")},
         ACK_NONE,
         0},
        {"packet split within the gap",
         DEV_TYPE3,
         {{0, v1.substr(0, 6)}, {500, v1.substr(6)}},
         {RecordV1(0x02, kLabel13)},
         ACK_NONE,
         0},
        {"packet split at exactly 800 ms",
         DEV_TYPE3,
         {{0, v1.substr(0, 12)}, {800, v1.substr(12)}},
         {RecordV1(0x02, kLabel13)},
         ACK_NONE,
         0},
        {"packet split beyond the gap: the tail alone is garbage",
         DEV_TYPE3,
         {{0, v1.substr(0, 6)}, {900, v1.substr(6)}},
         {},
         ACK_NONE,
         0},
        {"beyond the gap the second part starts a new buffer",
         DEV_TYPE3,
         {{0, v1.substr(0, 6)}, {801, v1}},
         {RecordV1(0x02, kLabel13)},
         ACK_NONE,
         0},
        {"reply 32 30 split 3 + 4",
         DEV_TYPE3,
         {{0, kReply0.substr(0, 3)}, {10, kReply0.substr(3)}},
         {},
         ACK_RECEIVED,
         0},
        {"reply 32 31 whole, then a packet",
         DEV_TYPE3,
         {{0, kReply1 + PacketV1(0x04, "12345670")}},
         {RecordV1(0x04, "12345670")},
         ACK_RECEIVED,
         0},
        {"NAK: the refusal is told apart", DEV_TYPE3, {{0, Bytes({0x15})}}, {}, ACK_NAK, 0},
        {"NAK then ACK", DEV_TYPE3, {{0, Bytes({0x15, 0x06})}}, {}, ACK_RECEIVED, 0},
        {"garbage version byte: the garbage is dropped, the packet after it framed",
         DEV_TYPE3,
         {{0, Bytes({0x04, 0x01, 0x00, 0x02, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46}) + v1}},
         {RecordV1(0x02, kLabel13)},
         ACK_NONE,
         0},
        {"stray byte before an ACK in one chunk",
         DEV_TYPE3,
         {{0, Bytes({0x00, 0x06})}},
         {},
         ACK_RECEIVED,
         0},
        {"stray byte, then an ACK in the next chunk",
         DEV_TYPE3,
         {{0, "A"}, {10, Bytes({0x06})}},
         {},
         ACK_RECEIVED,
         0},
        {"stray bytes between two packets",
         DEV_TYPE3,
         {{0, v1 + "\r\n" + PacketV2("ABCDE")}},
         {RecordV1(0x02, kLabel13), RecordV2("ABCDE")},
         ACK_NONE,
         0},
        {"garbage first byte discards the buffer",
         DEV_TYPE3,
         {{0, Bytes({0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39})}},
         {},
         ACK_NONE,
         0},
        {"complete 9-byte v1 packet (1-byte label) alone",
         DEV_TYPE3,
         {{0, PacketV1(0x07, "Z")}},
         {RecordV1(0x07, "Z")},
         ACK_NONE,
         0},
        {"complete 9-byte v2 packet alone",
         DEV_TYPE3,
         {{0, PacketV2("ABCDE")}},
         {RecordV2("ABCDE")},
         ACK_NONE,
         0},
        {"complete 4-byte v2 packet with empty payload",
         DEV_TYPE3,
         {{0, PacketV2("")}},
         {RecordV2("")},
         ACK_NONE,
         0},
        {"short packet held until the missing bytes come",
         DEV_TYPE3,
         {{0, PacketV2("ABCDE").substr(0, 6)}, {700, "CDE"}},
         {RecordV2("ABCDE")},
         ACK_NONE,
         0},
        {"header announcing more than arrived is held",
         DEV_TYPE3,
         {{0, PacketV1(0x02, kLabel13).substr(0, 20)}},
         {},
         ACK_NONE,
         0},
        {"label with NUL bytes kept whole",
         DEV_TYPE3,
         {{0, PacketV1(0x02, Bytes({'A', 0, 'B', 0}))}},
         {RecordV1(0x02, Bytes({'A', 0, 'B', 0}))},
         ACK_NONE,
         0},
        {"exactly 8192 bytes accepted",
         DEV_TYPE3,
         {{0, PacketV2(big)}},
         {RecordV2(big)},
         ACK_NONE,
         0},
        {"8193 bytes dropped", DEV_TYPE3, {{0, PacketV2(tooBig)}}, {}, ACK_NONE, 0},
        {"buffered plus chunk above 8192: both dropped",
         DEV_TYPE3,
         {{0, PacketV2(big).substr(0, 5000)}, {10, PacketV2(big).substr(5000) + "!"}},
         {},
         ACK_NONE,
         0},
        // Device types 2 and 4.
        {"type 2 start marker", DEV_TYPE2, {{0, "@@@@"}}, {}, ACK_NONE, 1},
        {"type 2 end marker", DEV_TYPE2, {{0, "@@@@"}, {0, "^^^^"}}, {}, ACK_RECEIVED, 0},
        {"type 2 command reply", DEV_TYPE2, {{0, "!99904041;"}}, {}, ACK_RECEIVED, 0},
        {"type 2 bracketed reply", DEV_TYPE2, {{0, "@@@@0102!!!!"}}, {}, ACK_RECEIVED, 0},
        {"type 2 seven characters are a scan",
         DEV_TYPE2,
         {{0, "@@@@!!!"}},
         {"@@@@!!!"},
         ACK_NONE,
         0},
        {"type 2 label", DEV_TYPE2, {{0, "c" + kLabel13}}, {"c" + kLabel13}, ACK_NONE, 0},
        {"type 2 split label gives two scans",
         DEV_TYPE2,
         {{0, "c4006"}, {5, "381333931"}},
         {"c4006", "381333931"},
         ACK_NONE,
         0},
        {"type 4 one character is a scan", DEV_TYPE4, {{0, "!"}}, {"!"}, ACK_NONE, 0},
        {"type 4 two-character reply", DEV_TYPE4, {{0, "!;"}}, {}, ACK_RECEIVED, 0},
        {"type 4 text up to an embedded NUL",
         DEV_TYPE4,
         {{0, Bytes({'d', '1', 0, '2'})}},
         {"d1"},
         ACK_NONE,
         0},
        // Device type 1 and any other value: plain.
        {"type 1 each chunk is a scan",
         DEV_TYPE1,
         {{0, "c4006"}, {5, "381333931"}},
         {"c4006", "381333931"},
         ACK_NONE,
         0},
        {"type 1 two labels in one chunk are one scan",
         DEV_TYPE1,
         {{0, "a12\r\na34\r\n"}},
         {"a12\r\na34\r\n"},
         ACK_NONE,
         0},
        {"type 1 text up to an embedded NUL",
         DEV_TYPE1,
         {{0, Bytes({'b', 'X', 0, 'Y'})}},
         {"bX"},
         ACK_NONE,
         0},
        {"type 1 ACK byte is a scan",
         DEV_TYPE1,
         {{0, Bytes({0x06})}},
         {Bytes({0x06})},
         ACK_NONE,
         0},
        {"type 7 framed as plain", 7, {{0, "^^^^"}}, {"^^^^"}, ACK_NONE, 0},
    };
    for (const FramingCase& c : cases) {
        SCOPED_TRACE(c.name);
        ResetReceiveState();
        auto ctrl = Claimed(c.devType);
        for (const Step& s : c.steps) {
            Advance(s.advanceMs);
            Feed(*ctrl, s.chunk);
        }
        EXPECT_EQ(c.scans, Queued(*ctrl));
        EXPECT_EQ(static_cast<int32_t>(c.scans.size()), ctrl->m_DataCount.load());
        EXPECT_EQ(c.ack, ctrl->m_bAckReceived.load());
        EXPECT_EQ(c.setupMode, ctrl->m_bSetupMode.load());
        if (c.devType == DEV_TYPE3 && std::string(c.name).find("held") == std::string::npos) {
            // The buffer ended empty: a following packet is framed on its own.
            Advance(10);
            Feed(*ctrl, kProbe);
            const std::vector<std::string> after = Queued(*ctrl);
            ASSERT_EQ(c.scans.size() + 1, after.size());
            EXPECT_EQ(kProbeRecord, after.back());
        }
    }
}

// The dropped bytes of a chunk are counted in one trace line.
TEST_F(FramingTest, DeviceType3LogsTheBytesItDroppedOncePerChunk) {
    auto ctrl = Claimed(DEV_TYPE3);
    testing_support::TraceCapture trace;
    Feed(*ctrl, "xyz" + PacketV2("A") + "!!" + Bytes({0x06}));
    Feed(*ctrl, PacketV2("B"));
    EXPECT_EQ((std::vector<std::string>{RecordV2("A"), RecordV2("B")}), Queued(*ctrl));
    EXPECT_EQ(ACK_RECEIVED, ctrl->m_bAckReceived.load());
    int lines = 0;
    for (const std::string& m : trace.Messages())
        if (m.find("receive: dropped") != std::string::npos) {
            ++lines;
            EXPECT_NE(std::string::npos, m.find("receive: dropped 5 bytes that start no frame"));
        }
    EXPECT_EQ(1, lines);
}

// Device types 2 and 4: a reply or marker that shares a read with a label or with other
// replies is taken apart while a reply is due (setup mode, or a command written within
// 800 ms), and never otherwise.
TEST_F(FramingTest, GluedRepliesAreTakenApartOnlyWhileAReplyIsDue) {
    enum class Due { No, Command, SetupMode };
    const struct {
        const char* name;
        Due due;
        uint32_t sinceMs;  // tick advance between the command and the chunk
        std::string chunk;
        std::vector<std::string> scans;
        int32_t ack;
        int32_t setupMode;
    } cases[] = {
        {"end marker before a label",
         Due::Command,
         100,
         "^^^^c" + kLabel13,
         {"c" + kLabel13},
         ACK_RECEIVED,
         0},
        {"end marker before a label, 800 ms after",
         Due::Command,
         800,
         "^^^^c" + kLabel13,
         {"c" + kLabel13},
         ACK_RECEIVED,
         0},
        {"replies together queue no scan", Due::Command, 5, "!99900102;^^^^", {}, ACK_RECEIVED, 0},
        {"the markers and reply of one command",
         Due::Command,
         5,
         "@@@@!99900102;^^^^",
         {},
         ACK_RECEIVED,
         0},
        {"in setup mode, a bracketed reply before a label",
         Due::SetupMode,
         0,
         "@@@@0102!!!!c" + kLabel13,
         {"c" + kLabel13},
         ACK_RECEIVED,
         1},
        // Outside the window the text is framed whole, as it always was.
        {"no command: end marker and label are one scan",
         Due::No,
         0,
         "^^^^c" + kLabel13,
         {"^^^^c" + kLabel13},
         ACK_NONE,
         0},
        {"801 ms after the command: one scan",
         Due::Command,
         801,
         "^^^^c" + kLabel13,
         {"^^^^c" + kLabel13},
         ACK_NONE,
         0},
        {"no command: a label starting with a reply is whole",
         Due::No,
         0,
         "!a;c12",
         {"!a;c12"},
         ACK_NONE,
         0},
    };
    for (int32_t devType : {DEV_TYPE2, DEV_TYPE4}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", device type " + std::to_string(devType));
            fake::FakeTavrix::Get().Reset();
            ResetReceiveState();
            auto ctrl = Claimed(devType);
            ctrl->m_hTvx = tvx_open(L"HID", nullptr, 1);
            if (c.due == Due::Command) ctrl->SendCommand("#99900102;", 0, -1);
            if (c.due == Due::SetupMode) Feed(*ctrl, "@@@@");
            Advance(c.sinceMs);
            Feed(*ctrl, c.chunk);
            EXPECT_EQ(c.scans, Queued(*ctrl));
            EXPECT_EQ(c.ack, ctrl->m_bAckReceived.load());
            EXPECT_EQ(c.setupMode, ctrl->m_bSetupMode.load());
        }
    }
}

// AutoDisable on device type 2 over a serial line writes its command with markers from inside
// the receive call; the device's answers to it then come back in one read, and must not
// become a scan of their own.
TEST_F(FramingTest, AutoDisableRepliesInOneReadQueueNoScan) {
    auto ctrl = std::make_unique<CScannerCtrl>();
    ASSERT_EQ(0, ctrl->Open(DEV_TYPE2, COMM_SERIAL, 1, false));
    ctrl->m_Claimed = 1;
    ctrl->m_hTvx = tvx_open(L"COM", L"1,9600", 1);
    ctrl->m_DeviceEnabled = 1;
    ctrl->SetAutoDisable(1);
    Feed(*ctrl, "c" + kLabel13);
    ASSERT_FALSE(fake::FakeTavrix::Get().Writes().empty());  // the disable went out
    Advance(30);
    Feed(*ctrl, "@@@@!99900102;^^^^");
    EXPECT_EQ(std::vector<std::string>{"c" + kLabel13}, Queued(*ctrl));
    EXPECT_EQ(ACK_RECEIVED, ctrl->m_bAckReceived.load());
    EXPECT_EQ(0, ctrl->m_bSetupMode.load());
}

TEST_F(FramingTest, GapTestIsRightAcrossTheTickWrap) {
    const std::string v1 = PacketV1(0x02, kLabel13);
    struct Case {
        uint32_t first, second;
        size_t scans;
    } cases[] = {
        {0xFFFFFF00u, 0x000000F0u, 1},  // 496 ms across the wrap
        {0xFFFFFF00u, 0x00000300u, 0},  // 1024 ms across the wrap
    };
    for (const Case& c : cases) {
        ResetReceiveState();
        auto ctrl = Claimed(DEV_TYPE3);
        g_tick = c.first;
        Feed(*ctrl, v1.substr(0, 6));
        g_tick = c.second;
        Feed(*ctrl, v1.substr(6));
        EXPECT_EQ(c.scans, Queued(*ctrl).size()) << std::hex << c.first << " " << c.second;
    }
}

TEST_F(FramingTest, ChunksWhileNotClaimedAreDroppedWithWhatWasBuffered) {
    const std::string v1 = PacketV1(0x02, kLabel13);
    auto ctrl = Claimed(DEV_TYPE3);
    Feed(*ctrl, v1.substr(0, 6));
    ctrl->m_Claimed = 0;  // as after Release or a failed claim
    Feed(*ctrl, PacketV1(0x02, "X"));
    EXPECT_TRUE(Queued(*ctrl).empty());
    ctrl->m_Claimed = 1;
    Feed(*ctrl, v1.substr(6));  // the first part is gone: this tail is garbage
    EXPECT_TRUE(Queued(*ctrl).empty());
    EXPECT_EQ(0, ctrl->m_DataCount.load());
}

TEST_F(FramingTest, BadChunkArgumentsHaveDefinedOutcomes) {
    const std::string v2 = PacketV2("ABCDEFGHIJ");
    auto ctrl = Claimed(DEV_TYPE3);
    // Null bytes with a length: the chunk is dropped, what is buffered stays.
    Feed(*ctrl, v2.substr(0, 5));
    ctrl->ReceiveDataFromTAVRIX(nullptr, 100);
    Feed(*ctrl, v2.substr(5));
    EXPECT_EQ(std::vector<std::string>{RecordV2("ABCDEFGHIJ")}, Queued(*ctrl));
    // A negative length is dropped together with the buffered bytes: the next packet is framed
    // whole, on its own.
    Feed(*ctrl, v2.substr(0, 5));
    ctrl->ReceiveDataFromTAVRIX(reinterpret_cast<const uint8_t*>("x"), -1);
    Feed(*ctrl, PacketV2("KLMNOPQRST"));
    EXPECT_EQ((std::vector<std::string>{RecordV2("ABCDEFGHIJ"), RecordV2("KLMNOPQRST")}),
              Queued(*ctrl));
    // Null with length 0 adds nothing.
    ctrl->ReceiveDataFromTAVRIX(nullptr, 0);
    EXPECT_EQ(2u, Queued(*ctrl).size());
    // The callback with a null context does nothing; with the object it forwards.
    ReceiveNotify(reinterpret_cast<const uint8_t*>(v2.data()), static_cast<int32_t>(v2.size()),
                  nullptr);
    EXPECT_EQ(2u, Queued(*ctrl).size());
    ReceiveNotify(reinterpret_cast<const uint8_t*>(v2.data()), static_cast<int32_t>(v2.size()),
                  ctrl.get());
    EXPECT_EQ(3u, Queued(*ctrl).size());
    EXPECT_EQ(RecordV2("ABCDEFGHIJ"), Queued(*ctrl).back());
}

TEST_F(FramingTest, AutoDisableOneDisablesBeforeEachScanIsQueued) {
    // With AutoDisable 1 the first scan disables the device, so the second, in the same chunk,
    // is dropped. The disable written on the receive thread waits for nothing and leaves the
    // acknowledgement flag alone (a Java thread may be waiting on it).
    struct Case {
        int32_t autoDisable;
        std::vector<int32_t> countAtDisable;  // DataCount seen by each scan-disable write
        size_t queued;
        int64_t dropped;
    } cases[] = {{1, {0}, 1, 1}, {2, {}, 2, 0}, {0, {}, 2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.autoDisable);
        fake::FakeTavrix::Get().Reset();
        auto ctrl = Claimed(DEV_TYPE3);
        ctrl->m_hTvx = tvx_open(L"HID", nullptr, 1);
        ctrl->m_DeviceEnabled = 1;
        ctrl->SetAutoDisable(c.autoDisable);
        std::vector<int32_t> seen;
        CScannerCtrl* p = ctrl.get();
        fake::FakeTavrix::Get().SetWriteHook([&seen, p](const std::string& bytes) {
            if (bytes == std::string(reinterpret_cast<const char*>(kFrameScanDisable), kFrameSize))
                seen.push_back(p->m_DataCount.load());
        });
        ctrl->m_bAckReceived = ACK_RECEIVED;
        g_ackLooks = 0;
        Feed(*ctrl, PacketV1(0x02, kLabel13) + PacketV1(0x0D, "B"));
        fake::FakeTavrix::Get().SetWriteHook(nullptr);
        EXPECT_EQ(c.countAtDisable, seen);
        ASSERT_EQ(c.queued, Queued(*ctrl).size());
        EXPECT_EQ(RecordV1(0x02, kLabel13), Queued(*ctrl).front());
        EXPECT_EQ(c.dropped, ctrl->m_ScansDroppedDisabled.load());
        EXPECT_EQ(c.autoDisable == 1 ? 0 : 1, ctrl->m_DeviceEnabled.load());
        EXPECT_EQ(0, g_ackLooks.load());
        EXPECT_EQ(ACK_RECEIVED, ctrl->m_bAckReceived.load());
    }
}

TEST_F(FramingTest, ScanDeliveryWritesItsFourLinesAroundThePush) {
    auto ctrl = Claimed(DEV_TYPE1);
    testing_support::TraceCapture trace;
    Feed(*ctrl, "c012345678905");
    std::vector<std::string> lines;
    for (const std::string& m : trace.Messages())
        if (m.find("data ") != std::string::npos || m.find("PushFifoData") != std::string::npos)
            lines.push_back(m);
    const std::vector<std::string> want = {
        "  push data before: datacount:0",
        "  qds::OPOS::CScannerCtrl::PushFifoData [Enter] {",
        "  qds::OPOS::CScannerCtrl::PushFifoData [Exit]  }",
        "  push data after: datacount:1",
        "  pop data before: datacount:1",
        "  pop data after: datacount:1",
    };
    ASSERT_EQ(want.size(), lines.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_NE(std::string::npos, lines[i].find(want[i].substr(2))) << i;
    EXPECT_TRUE(
        trace.Contains("qds::OPOS::CScannerCtrl::ReceiveDataFromTAVRIX value:13 [Enter] {"));
}

TEST_F(FramingTest, CallsFromTwoThreadsNeverInterleaveOnTheBuffer) {
    auto ctrl = Claimed(DEV_TYPE3);
    // Each chunk carries two packets split across the chunk boundary of the other thread:
    // if calls interleaved on the shared buffer, packets would be torn and scans lost.
    const std::string a = PacketV1(0x02, "AAAAAAAAAAAA") + PacketV2("aaaa");
    const std::string b = PacketV2("BBBBBBBBBBBBBBBB") + PacketV1(0x05, "bb");
    constexpr int kRounds = 300;
    std::thread t1([&] {
        for (int i = 0; i < kRounds; ++i)
            ReceiveNotify(reinterpret_cast<const uint8_t*>(a.data()),
                          static_cast<int32_t>(a.size()), ctrl.get());
    });
    std::thread t2([&] {
        for (int i = 0; i < kRounds; ++i)
            ReceiveNotify(reinterpret_cast<const uint8_t*>(b.data()),
                          static_cast<int32_t>(b.size()), ctrl.get());
    });
    t1.join();
    t2.join();
    const std::vector<std::string> q = Queued(*ctrl);
    EXPECT_EQ(4u * kRounds, q.size());
    for (const std::string& s : q)
        EXPECT_TRUE(s == RecordV1(0x02, "AAAAAAAAAAAA") || s == RecordV2("aaaa") ||
                    s == RecordV2("BBBBBBBBBBBBBBBB") || s == RecordV1(0x05, "bb"));
}

// A call that waits inside the receive path (the AutoDisable command's acknowledgement wait)
// keeps a second framework thread out until it has finished with the shared buffer.
TEST_F(FramingTest, ACallWaitingInsideTheReceivePathHoldsOffOtherThreads) {
    auto ctrl = Claimed(DEV_TYPE3);
    ctrl->m_hTvx = tvx_open(L"HID", nullptr, 1);
    ctrl->SetAutoDisable(1);
    const std::string a = PacketV1(0x02, "FIRST") + PacketV1(0x02, "SECOND");
    const std::string b = PacketV2("OTHER");
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    std::atomic<bool> first{true};
    bool otherRanInside = false;
    std::thread other;
    fake::FakeTavrix::Get().SetWriteHook([&](const std::string&) {
        if (!first.exchange(false)) return;
        other = std::thread([&] {
            ReceiveNotify(reinterpret_cast<const uint8_t*>(b.data()),
                          static_cast<int32_t>(b.size()), ctrl.get());
            std::lock_guard<std::mutex> lock(mu);
            done = true;
            cv.notify_all();
        });
        // Gives the other thread a generous chance to run inside this call; the outcome
        // below does not depend on how long it takes.
        std::unique_lock<std::mutex> lock(mu);
        cv.wait_for(lock, std::chrono::milliseconds(300), [&] { return done; });
        otherRanInside = done;
    });
    Feed(*ctrl, a);
    other.join();
    fake::FakeTavrix::Get().SetWriteHook(nullptr);
    EXPECT_FALSE(otherRanInside);
    // FIRST disabled the device: SECOND, behind it in the same call, and OTHER, framed only
    // after that call, are both dropped.
    const std::vector<std::string> want = {RecordV1(0x02, "FIRST")};
    EXPECT_EQ(want, Queued(*ctrl));
    EXPECT_EQ(2, ctrl->m_ScansDroppedDisabled.load());
}

// Scans received while DeviceEnabled is 0 are dropped for every device type; acknowledgements
// are still recognised.
TEST_F(FramingTest, ADisabledDeviceDeliversNoScansButStillAcknowledges) {
    struct Case {
        int32_t devType;
        std::string ack, scan, record;
    } cases[] = {
        {DEV_TYPE1, "", "c" + kLabel13, "c" + kLabel13},
        {DEV_TYPE2, "!99904041;", "c" + kLabel13, "c" + kLabel13},
        {DEV_TYPE4, "^^^^", "d" + kLabel13, "d" + kLabel13},
        {DEV_TYPE3, Bytes({0x06}), PacketV1(0x05, kLabel13), RecordV1(0x05, kLabel13)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.devType);
        ResetReceiveState();
        auto ctrl = Claimed(c.devType);
        ctrl->m_DeviceEnabled = 0;
        if (!c.ack.empty()) {
            Feed(*ctrl, c.ack);
            EXPECT_EQ(ACK_RECEIVED, ctrl->m_bAckReceived.load());
        }
        Feed(*ctrl, c.scan);
        EXPECT_TRUE(Queued(*ctrl).empty());
        EXPECT_EQ(0, ctrl->m_DataCount.load());
        EXPECT_EQ(1, ctrl->m_ScansDroppedDisabled.load());
        ctrl->m_DeviceEnabled = 1;
        Feed(*ctrl, c.scan);
        EXPECT_EQ(std::vector<std::string>{c.record}, Queued(*ctrl));
    }
}

// With the Code ID prefix off a text scan keeps its first character: a placeholder stands
// where the prefix would be, and the label is delivered whole.
TEST_F(FramingTest, TextScansWithoutTheCodeIdPrefixKeepTheirFirstCharacter) {
    for (int32_t devType : {DEV_TYPE1, DEV_TYPE2, DEV_TYPE4}) {
        for (int32_t decode : {0, 1}) {
            SCOPED_TRACE(testing::Message() << devType << " decode " << decode);
            auto ctrl = Claimed(devType);
            ctrl->m_DecodeData = decode;
            ctrl->m_bCodeIdPrefix = 0;
            Feed(*ctrl, kLabel13);
            ctrl->m_bCodeIdPrefix = 1;
            Feed(*ctrl, "c" + kLabel13);
            const std::vector<std::string> want = {std::string(1, RECORD_NO_CODE_ID) + kLabel13,
                                                   "c" + kLabel13};
            EXPECT_EQ(want, Queued(*ctrl));
            std::string data, label;
            ctrl->SetDataEventEnabled(1);
            ctrl->GetPropertyString(PIDXScan_ScanData, data);
            ctrl->GetPropertyString(PIDXScan_ScanDataLabel, label);
            EXPECT_EQ(kLabel13, data);
            EXPECT_EQ(decode ? kLabel13 : "", label);
            EXPECT_EQ(0, ctrl->GetPropertyNumber(PIDXScan_ScanDataType));
            ctrl->SetDataEventEnabled(1);
            ctrl->GetPropertyString(PIDXScan_ScanData, data);
            EXPECT_EQ(kLabel13, data);
            EXPECT_EQ(decode ? 101 : 0, ctrl->GetPropertyNumber(PIDXScan_ScanDataType));
        }
    }
}

// A framework that hands bytes over from inside tvx_write on the receive thread (here: the
// AutoDisable disable) does not get them framed inside the running call, where the buffer
// still holds the frame being applied: each frame is applied once, in order.
TEST_F(FramingTest, BytesDeliveredFromInsideAWriteAreFramedAfterTheRunningCall) {
    auto ctrl = Claimed(DEV_TYPE3);
    ctrl->m_hTvx = tvx_open(L"HID", nullptr, 1);
    tvx_register_notify(ctrl->m_hTvx, 0, &ReceiveNotify, ctrl.get());
    ctrl->SetAutoDisable(1);
    const std::string inner = PacketV1(0x0D, "INNER") + Bytes({0x06});
    std::atomic<int> writes{0};
    fake::FakeTavrix::Get().SetWriteHook([&](const std::string&) {
        if (writes++ == 0) fake::FakeTavrix::Get().DeliverNow(inner);
    });
    const std::string outer = PacketV1(0x02, "OUTER");
    ReceiveNotify(reinterpret_cast<const uint8_t*>(outer.data()),
                  static_cast<int32_t>(outer.size()), ctrl.get());
    fake::FakeTavrix::Get().SetWriteHook(nullptr);
    EXPECT_EQ(std::vector<std::string>{RecordV1(0x02, "OUTER")}, Queued(*ctrl));
    EXPECT_EQ(1, writes.load());
    // INNER came after OUTER disabled the device; its ACK was still recognised.
    EXPECT_EQ(1, ctrl->m_ScansDroppedDisabled.load());
    EXPECT_EQ(ACK_RECEIVED, ctrl->m_bAckReceived.load());
    // Nothing was left behind in the buffer.
    ctrl->m_DeviceEnabled = 1;
    ctrl->SetAutoDisable(0);
    Feed(*ctrl, kProbe);
    EXPECT_EQ(kProbeRecord, Queued(*ctrl).back());
    EXPECT_EQ(2u, Queued(*ctrl).size());
}

// Nothing thrown inside the receive path reaches the framework's thread.
TEST_F(FramingTest, NoExceptionLeavesTheReceiveCallback) {
    auto ctrl = Claimed(DEV_TYPE2);
    ctrl->m_hTvx = tvx_open(L"HID", nullptr, 1);
    tvx_register_notify(ctrl->m_hTvx, 0, &ReceiveNotify, ctrl.get());
    ctrl->SetAutoDisable(1);
    fake::FakeTavrix::Get().SetWriteHook([](const std::string&) { throw std::bad_alloc(); });
    // Delivered on the test double's own thread, as the framework would.
    fake::FakeTavrix::Get().Deliver("c" + kLabel13);
    fake::FakeTavrix::Get().WaitIdle();
    fake::FakeTavrix::Get().SetWriteHook(nullptr);
    EXPECT_TRUE(Queued(*ctrl).empty());
    // The receive path still works afterwards.
    ctrl->m_DeviceEnabled = 1;
    ctrl->SetAutoDisable(0);
    fake::FakeTavrix::Get().Deliver("c123");
    fake::FakeTavrix::Get().WaitIdle();
    EXPECT_EQ(std::vector<std::string>{"c123"}, Queued(*ctrl));
}

// A service object that is gone takes no more callbacks: the framework may still call with
// its context (a process exiting without Close), and nothing is touched.
TEST_F(FramingTest, ADestroyedObjectTakesNoCallbacks) {
    auto ctrl = Claimed(DEV_TYPE1);
    ctrl->m_hTvx = tvx_open(L"HID", nullptr, 1);
    void* context = ctrl.get();
    const TVX_HANDLE channel = ctrl->m_hTvx.load();
    const size_t closesBefore = fake::FakeTavrix::Get().CountOf("close");
    ctrl.reset();
    const std::string label = "c" + kLabel13;
    ReceiveNotify(reinterpret_cast<const uint8_t*>(label.data()),
                  static_cast<int32_t>(label.size()), context);
    // Where the platform allows waiting for the framework's thread, the channel is closed too.
    const std::vector<fake::Call> calls = fake::FakeTavrix::Get().Calls();
    size_t closes = 0;
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].fn == "close" && calls[i].handle == channel) ++closes;
    EXPECT_EQ(qds::plat::CanJoinThreadsAtUnload() ? 1u : 0u, closes);
    EXPECT_EQ(closesBefore + closes, fake::FakeTavrix::Get().CountOf("close"));
}

}  // namespace
