// Serial and UDP channels against real pseudo-terminals and loopback sockets.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Receiver.h"
#include "Simulator.h"
#include "platform/process.h"
#include "platform/pty.h"
#include "platform/serial.h"
#include "platform/udp.h"
#include "tavrix/Api.h"

namespace {

using tvxtest::Receiver;
using tvxtest::StateLog;

const uint8_t* U(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// Reads from the master until `want` bytes came (or the bound passed).
std::string ReadMaster(qds::plat::CPtyMaster& pty, size_t want) {
    std::string got;
    uint8_t buf[256];
    while (got.size() < want) {
        const int32_t n = pty.Read(buf, sizeof buf, 10000);
        if (n <= 0) break;
        got.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
    }
    return got;
}

class SerialChannel : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!m_pty.Open()) GTEST_SKIP() << "no pseudo-terminals on this system";
        m_link = "tavrix-test-" + std::to_string(qds::plat::CurrentProcessId()) + ".tty";
        ASSERT_TRUE(qds::plat::ReplaceSymlink(m_pty.SlavePath(), m_link));
    }
    void TearDown() override { qds::plat::RemoveFile(m_link); }

    TVX_HANDLE OpenChannel(StateLog* log = nullptr) {
        return qds::tvx::OpenTransport(qds::tvx::MakeSerialTransportAt(m_link, 9600),
                                       log ? &StateLog::Observe : nullptr, log);
    }

    qds::plat::CPtyMaster m_pty;
    std::string m_link;
};

TEST_F(SerialChannel, BytesFlowBothWays) {
    Receiver rx;
    TVX_HANDLE h = OpenChannel();
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);

    // Every byte value, so the line is raw: no translation, no echo, no flow control.
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    ASSERT_EQ(m_pty.Write(U(all), 256), 256);
    ASSERT_TRUE(rx.WaitBytes(256));
    EXPECT_EQ(rx.Bytes(), all);

    const std::string cmd(
        "\x7E\x00\x00\x04"
        "1331\xFB",
        9);
    EXPECT_EQ(qds::tvx::Write(h, U(cmd), 9, 100), 9);
    EXPECT_EQ(ReadMaster(m_pty, 9), cmd);
    EXPECT_EQ(qds::tvx::Write(h, U(cmd), 0, 100), 0);
    EXPECT_EQ(qds::tvx::Write(h, nullptr, 5, 100), -1);
    EXPECT_EQ(qds::tvx::Write(h, U(cmd), -1, 100), -1);

    EXPECT_EQ(qds::tvx::Close(h), 0);
    EXPECT_EQ(qds::tvx::Close(h), -1);  // the second close of a handle does nothing
    EXPECT_FALSE(rx.Overlapped());
}

TEST_F(SerialChannel, ChannelWordIsTheOpenDescriptor) {
    TVX_HANDLE h = OpenChannel();
    ASSERT_NE(h, nullptr);
    const uint32_t* word = *static_cast<uint32_t**>(h);
    ASSERT_NE(word, nullptr);
    // A descriptor of ours: above the three standard streams and the pty's own two.
    EXPECT_GT(*word, 2u);
    EXPECT_EQ(qds::tvx::Close(h), 0);
}

TEST_F(SerialChannel, UnplugAndReplugWithoutCallsFromAbove) {
    Receiver rx;
    StateLog states;
    TVX_HANDLE h = OpenChannel(&states);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);
    const uint32_t* word = *static_cast<uint32_t**>(h);

    m_pty.Close();  // the device goes away
    qds::plat::RemoveFile(m_link);
    ASSERT_TRUE(states.WaitEvent(1, false));
    EXPECT_EQ(*word, 0u);
    const std::string b = "x";
    EXPECT_EQ(qds::tvx::Write(h, U(b), 1, 100), -1);  // fails at once while away

    ASSERT_TRUE(m_pty.Open());  // and comes back, under the same configured name
    ASSERT_TRUE(qds::plat::ReplaceSymlink(m_pty.SlavePath(), m_link));
    ASSERT_TRUE(states.WaitEvent(2, true));
    EXPECT_NE(*word, 0u);
    const std::string label = "d4006381333931\r";
    ASSERT_EQ(m_pty.Write(U(label), static_cast<uint32_t>(label.size())),
              static_cast<int32_t>(label.size()));
    ASSERT_TRUE(rx.WaitBytes(label.size()));
    EXPECT_EQ(rx.Bytes(), label);
    EXPECT_EQ(qds::tvx::Write(h, U(b), 1, 100), 1);
    EXPECT_EQ(ReadMaster(m_pty, 1), b);
    EXPECT_EQ(qds::tvx::Close(h), 0);
}

TEST_F(SerialChannel, MissingDeviceFailsTheOpen) {
    qds::plat::RemoveFile(m_link);
    EXPECT_EQ(OpenChannel(), nullptr);
}

// POSIX serial ports take the standard rates only (Windows drivers decide for themselves).
TEST_F(SerialChannel, RateMustBeAStandardOne) {
    qds::plat::CSerialPort port;
    EXPECT_FALSE(port.Open(m_link.c_str(), 12345));
    EXPECT_FALSE(port.Open(m_link.c_str(), 0));
    EXPECT_TRUE(port.Open(m_link.c_str(), 115200));
}

// Bytes keep coming while the channel closes: callbacks never overlap and none runs after
// Close has returned.
TEST_F(SerialChannel, NoCallbackAfterClose) {
    for (int round = 0; round < 5; ++round) {
        Receiver rx;
        TVX_HANDLE h = OpenChannel();
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);
        std::atomic<bool> stop{false};
        std::thread feeder([&] {
            const std::string b(16, 'a');
            while (!stop) {
                if (m_pty.Write(U(b), 16) < 0) break;
                std::this_thread::yield();
            }
        });
        ASSERT_TRUE(rx.WaitBytes(64));
        EXPECT_EQ(qds::tvx::Close(h), 0);
        rx.MarkClosed();
        stop = true;
        feeder.join();
        EXPECT_FALSE(rx.Overlapped());
        EXPECT_FALSE(rx.CalledAfterClose());
    }
}

TEST_F(SerialChannel, ClearKeepsTheChannelWorking) {
    TVX_HANDLE h = OpenChannel();
    ASSERT_NE(h, nullptr);
    // Clearing flushes the line and must leave the channel reading.
    EXPECT_EQ(qds::tvx::Clear(h), 0);
    Receiver rx;
    ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);
    const std::string s = "after";
    ASSERT_EQ(m_pty.Write(U(s), 5), 5);
    ASSERT_TRUE(rx.WaitBytes(5));
    EXPECT_EQ(rx.Bytes(), s);
    EXPECT_EQ(qds::tvx::Close(h), 0);
}

// Picks a loopback port that was free a moment ago.
uint16_t FreePort() {
    qds::plat::CUdpSocket s;
    if (!s.Open("127.0.0.1:0", "127.0.0.1:9")) return 0;
    return s.LocalPort();
}

TEST(UdpChannel, DatagramsBothWays) {
    const uint16_t mine = FreePort();
    ASSERT_NE(mine, 0);
    // The scanner's socket: the channel's Remote, the only sender it takes datagrams from.
    qds::plat::CUdpSocket peer;
    ASSERT_TRUE(peer.Open("127.0.0.1:0", "127.0.0.1:" + std::to_string(mine)));
    const std::string params = "local=127.0.0.1:" + std::to_string(mine) +
                               ";remote=127.0.0.1:" + std::to_string(peer.LocalPort());
    TVX_HANDLE h = qds::tvx::Open(L"udp", std::wstring(params.begin(), params.end()).c_str(), 1);
    ASSERT_NE(h, nullptr);
    Receiver rx;
    ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);
    EXPECT_NE(**static_cast<uint32_t**>(h), 0u);

    qds::plat::CUdpSocket& sender = peer;
    const std::string a(
        "\x04\xFE\x00\x06\x05"
        "0\0\0\0"
        "1",
        10);
    const std::string b = "second";
    ASSERT_EQ(sender.Write(U(a), 10), 10);
    ASSERT_TRUE(rx.WaitBytes(10));
    ASSERT_EQ(sender.Write(U(b), 6), 6);
    ASSERT_TRUE(rx.WaitBytes(16));
    // One datagram, one chunk, in order.
    EXPECT_EQ(rx.Chunks(), (std::vector<std::string>{a, b}));

    const std::string cmd = "#99904041;";
    EXPECT_EQ(qds::tvx::Write(h, U(cmd), 10, 100), 10);
    uint8_t buf[64];
    const int32_t n = peer.Read(buf, sizeof buf, 10000);
    ASSERT_EQ(n, 10);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 10), cmd);
    EXPECT_EQ(qds::tvx::Close(h), 0);
}

TEST(UdpChannel, PortInUseFailsTheOpen) {
    qds::plat::CUdpSocket taken;
    ASSERT_TRUE(taken.Open("127.0.0.1:0", "127.0.0.1:9"));
    const std::string params =
        "local=127.0.0.1:" + std::to_string(taken.LocalPort()) + ";remote=127.0.0.1:9";
    EXPECT_EQ(qds::tvx::Open(L"udp", std::wstring(params.begin(), params.end()).c_str(), 1),
              nullptr);
}

}  // namespace

namespace {

// Frames by silence: the simulated scanner paces its labels like a real line (and a USB-serial
// adapter), and the channel hands each label on as one chunk.
class SerialFrames : public ::testing::Test {
  protected:
    bool Start(int type, sim::LineTiming timing, uint32_t gapMs) {
        sim::SimOptions o;
        o.devType = type;
        o.mode = sim::Mode::Pty;
        o.timing = timing;
        o.events = stderr;
        m_sim = std::make_unique<sim::CSimulator>(o);
        if (!m_sim->Start()) return false;
        m_h = qds::tvx::OpenTransport(
            qds::tvx::MakeSerialTransportAt(m_sim->SlavePath(), 9600, gapMs));
        return m_h != nullptr && qds::tvx::RegisterNotify(m_h, 0, &Receiver::Notify, &m_rx) == 0;
    }
    void TearDown() override {
        if (m_h) qds::tvx::Close(m_h);
        if (m_sim) m_sim->Stop();
    }
    std::unique_ptr<sim::CSimulator> m_sim;
    TVX_HANDLE m_h = nullptr;
    Receiver m_rx;
};

TEST_F(SerialFrames, EachLabelIsOneChunk) {
    struct Case {
        const char* name;
        int type;
        sim::LineTiming timing;
        uint32_t gapMs;
        std::string command;
        std::vector<std::string> chunks;  // empty: more than one chunk, the label cut up
        std::string bytes;
    };
    const uint32_t kDefault = qds::tvx::kDefaultFrameGap;
    const Case cases[] = {
        {"9600 baud",
         1,
         {9600, 0},
         kDefault,
         "scan ean13 4006381333931",
         {"d4006381333931"},
         "d4006381333931"},
        {"9600 baud behind an adapter",
         1,
         {9600, 16},
         kDefault,
         "scan ean13 4006381333931",
         {"d4006381333931"},
         "d4006381333931"},
        {"type 2 at 9600 baud behind an adapter",
         2,
         {9600, 16},
         kDefault,
         "scan code128 Code-128",
         {"jCode-128"},
         "jCode-128"},
        {"two labels 100 ms apart",
         2,
         {9600, 0},
         kDefault,
         "scan ean8 12345670 ean8 96385074 pause=100",
         {"g12345670", "g96385074"},
         "g12345670g96385074"},
        // A 200-byte label: longer than an adapter's 62-byte buffer, so it comes in many
        // bursts, still one chunk.
        {"long label behind an adapter",
         1,
         {115200, 16},
         kDefault,
         "scan code128 " + std::string(200, 'L'),
         {"j" + std::string(200, 'L')},
         "j" + std::string(200, 'L')},
        // FrameGapMs 0: each read at once, as before frames by silence (bytes 8 ms apart at
        // 1200 baud come in several reads, however busy the machine).
        {"gap 0", 1, {1200, 0}, 0, "scan ean13 4006381333931", {}, "d4006381333931"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!Start(c.type, c.timing, c.gapMs)) GTEST_SKIP() << "no pseudo-terminals here";
        const std::string answer = m_sim->Execute(c.command);
        EXPECT_EQ(answer.rfind("OK ", 0), 0u) << answer;
        ASSERT_TRUE(m_rx.WaitBytes(c.bytes.size()));
        EXPECT_EQ(m_rx.Bytes(), c.bytes);
        if (c.chunks.empty()) {
            EXPECT_GT(m_rx.Chunks().size(), 1u);
        } else {
            EXPECT_EQ(m_rx.Chunks(), c.chunks);
        }
        TearDown();
        m_h = nullptr;
        m_sim.reset();
        m_rx.Clear();
    }
}

// A long burst is handed on in pieces of the largest frame, without waiting for silence.
TEST_F(SerialFrames, LongBurstIsCutAtTheLargestFrame) {
    qds::plat::CPtyMaster pty;
    if (!pty.Open()) GTEST_SKIP() << "no pseudo-terminals here";
    // A gap far longer than the test's wait: a piece that comes at all came without it.
    TVX_HANDLE h =
        qds::tvx::OpenTransport(qds::tvx::MakeSerialTransportAt(pty.SlavePath(), 9600, 600000));
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &m_rx), 0);
    const std::string burst(qds::tvx::kMaxSerialFrame + 100, 'b');
    std::thread writer([&] {
        size_t at = 0;
        while (at < burst.size()) {
            const int32_t n =
                pty.Write(U(burst.substr(at, 1000)),
                          static_cast<uint32_t>(std::min<size_t>(1000, burst.size() - at)));
            if (n <= 0) break;
            at += static_cast<size_t>(n);
        }
    });
    ASSERT_TRUE(m_rx.WaitBytes(qds::tvx::kMaxSerialFrame));
    writer.join();
    EXPECT_EQ(m_rx.Chunks().front().size(), qds::tvx::kMaxSerialFrame);
    EXPECT_EQ(qds::tvx::Close(h), 0);  // ends the wait for silence at once
}

// A handle that was closed, or never given out, never reaches a channel, even when the new
// channel's memory is the closed one's.
TEST(Handles, StaleHandleDoesNothingToALaterChannel) {
    qds::plat::CUdpSocket peer;
    ASSERT_TRUE(peer.Open("127.0.0.1:0", "127.0.0.1:9"));
    const std::string params =
        "local=127.0.0.1:0;remote=127.0.0.1:" + std::to_string(peer.LocalPort());
    const std::wstring wparams(params.begin(), params.end());
    for (int round = 0; round < 20; ++round) {
        TVX_HANDLE old = qds::tvx::Open(L"udp", wparams.c_str(), 1);
        ASSERT_NE(old, nullptr);
        ASSERT_EQ(qds::tvx::Close(old), 0);
        TVX_HANDLE now = qds::tvx::Open(L"udp", wparams.c_str(), 1);
        ASSERT_NE(now, nullptr);
        EXPECT_NE(now, old);
        Receiver rx;
        ASSERT_EQ(qds::tvx::RegisterNotify(now, 0, &Receiver::Notify, &rx), 0);

        EXPECT_EQ(qds::tvx::Close(old), -1);
        EXPECT_EQ(qds::tvx::Clear(old), -1);
        EXPECT_EQ(qds::tvx::RegisterNotify(old, 0, nullptr, nullptr), -1);
        EXPECT_EQ(qds::tvx::Write(old, U("x"), 1, 100), -1);
        // The stale handle's word says "no device"; the new one's is its socket.
        EXPECT_EQ(**static_cast<uint32_t**>(old), 0u);
        EXPECT_NE(**static_cast<uint32_t**>(now), 0u);

        // The new channel still has its callback and its socket.
        EXPECT_EQ(qds::tvx::Write(now, U("ping"), 4, 100), 4);
        uint8_t buf[16];
        ASSERT_EQ(peer.Read(buf, sizeof buf, 10000), 4);
        EXPECT_EQ(qds::tvx::Close(now), 0);
    }
    // A value never given out: a structure that even looks like a handle.
    uint32_t word = 7;
    uint32_t* fake[2] = {&word, nullptr};
    EXPECT_EQ(qds::tvx::Close(fake), -1);
    EXPECT_EQ(qds::tvx::Write(fake, U("x"), 1, 100), -1);
    EXPECT_EQ(word, 7u);
}

// A channel on a free loopback port whose Remote is a socket of ours, bound and aimed at it.
struct UdpPair {
    explicit UdpPair(const std::string& extra = "") {
        mine = FreePort();
        if (mine == 0 || !remote.Open("127.0.0.1:0", "127.0.0.1:" + std::to_string(mine))) return;
        const std::string params = "local=127.0.0.1:" + std::to_string(mine) +
                                   ";remote=127.0.0.1:" + std::to_string(remote.LocalPort()) +
                                   extra;
        h = qds::tvx::Open(L"udp", std::wstring(params.begin(), params.end()).c_str(), 1);
        if (h != nullptr) qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx);
    }
    ~UdpPair() {
        if (h != nullptr) qds::tvx::Close(h);
    }
    uint16_t mine = 0;
    qds::plat::CUdpSocket remote;
    TVX_HANDLE h = nullptr;
    Receiver rx;
};

TEST(UdpChannel, TakesOnlyTheRemoteUnlessAcceptFromAny) {
    struct Case {
        const char* stranger;  // host of a second socket; the port: the remote's, or a free one
        bool remotesPort;
        const char* extra;
        bool delivered;
    };
    const Case cases[] = {
        {"127.0.0.2", true, "", false},   // another address, the remote's port
        {"127.0.0.1", false, "", false},  // the remote's address, another port
        {"127.0.0.2", true, ";acceptfrom=remote", false},
        {"127.0.0.2", true, ";acceptfrom=any", true},  // the open behaviour
        {"127.0.0.1", false, ";acceptfrom=ANY", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stranger) + (c.remotesPort ? " remote's port" : " other port") +
                     c.extra);
        UdpPair u(c.extra);
        ASSERT_NE(u.h, nullptr);
        qds::plat::CUdpSocket stranger;
        const std::string port = c.remotesPort ? std::to_string(u.remote.LocalPort()) : "0";
        if (!stranger.Open(std::string(c.stranger) + ":" + port,
                           "127.0.0.1:" + std::to_string(u.mine))) {
            // Linux takes all of 127/8 as loopback; Wine only the addresses of its interfaces.
            ASSERT_NE(std::string(c.stranger), "127.0.0.1") << stranger.OpenErrorText();
            std::printf("[  SKIPPED ] row %s: cannot bind it here (%s)\n", c.stranger,
                        stranger.OpenErrorText().c_str());
            continue;
        }
        ASSERT_EQ(stranger.Write(U("injected"), 8), 8);
        // Then the remote itself: once its datagram is in, the stranger's (sent first, on the
        // same loopback) has been delivered or dropped.
        ASSERT_EQ(u.remote.Write(U("scan"), 4), 4);
        ASSERT_TRUE(u.rx.WaitBytes(4 + (c.delivered ? 8 : 0)));
        EXPECT_EQ(u.rx.Chunks(), c.delivered ? (std::vector<std::string>{"injected", "scan"})
                                             : (std::vector<std::string>{"scan"}));
    }
}

TEST(UdpChannel, LargeDatagramArrivesWhole) {
    UdpPair u;
    ASSERT_NE(u.h, nullptr);
    std::string big(60000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 256);
    ASSERT_EQ(u.remote.Write(U(big), 60000), 60000);
    ASSERT_EQ(u.remote.Write(U("next"), 4), 4);
    ASSERT_TRUE(u.rx.WaitBytes(60004));
    EXPECT_EQ(u.rx.Chunks(), (std::vector<std::string>{big, "next"}));
}

}  // namespace
