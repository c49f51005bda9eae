// Serial and UDP channels against real pseudo-terminals and loopback sockets.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "Receiver.h"
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
    qds::plat::CUdpSocket peer;
    ASSERT_TRUE(peer.Open("127.0.0.1:0", "127.0.0.1:9"));  // remote set below
    const uint16_t mine = FreePort();
    ASSERT_NE(mine, 0);
    const std::string params = "local=127.0.0.1:" + std::to_string(mine) +
                               ";remote=127.0.0.1:" + std::to_string(peer.LocalPort());
    TVX_HANDLE h = qds::tvx::Open(L"udp", std::wstring(params.begin(), params.end()).c_str(), 1);
    ASSERT_NE(h, nullptr);
    Receiver rx;
    ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);
    EXPECT_NE(**static_cast<uint32_t**>(h), 0u);

    qds::plat::CUdpSocket sender;
    ASSERT_TRUE(sender.Open("127.0.0.1:0", "127.0.0.1:" + std::to_string(mine)));
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
