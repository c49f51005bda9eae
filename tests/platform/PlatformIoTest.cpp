// UDP sockets on loopback: the read contract of ReadContract.h, and the addresses Open takes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ReadContract.h"
#include "platform/udp.h"

namespace {

using qds::plat::CUdpSocket;
using namespace platformtest;

TEST(UdpSocketRead, CountTimeOutInterruptAndClosed) {
    CUdpSocket rx, tx;
    ASSERT_TRUE(rx.Open("127.0.0.1:0", "127.0.0.1:9"));
    ASSERT_TRUE(tx.Open("127.0.0.1:0", "127.0.0.1:" + std::to_string(rx.LocalPort())));
    const ReadFn read = [&](uint8_t* b, uint32_t n, uint32_t t) { return rx.Read(b, n, t); };

    ASSERT_EQ(tx.Write(U("hello"), 5), 5);
    EXPECT_EQ(ReadSome(read, 5), "hello");

    uint8_t buf[16];
    EXPECT_EQ(rx.Read(buf, sizeof buf, 20), 0);       // time-out
    EXPECT_EQ(rx.Read(nullptr, sizeof buf, 20), -1);  // no buffer
    ASSERT_EQ(tx.Write(nullptr, 0), 0);               // an empty datagram is nothing to read
    EXPECT_EQ(rx.Read(buf, sizeof buf, 10000), 0);
    ASSERT_EQ(tx.Write(U("x"), 1), 1);  // and the next one still comes
    EXPECT_EQ(ReadSome(read, 1), "x");

    ExpectInterruptEndsRead(read, [&] { rx.Interrupt(); });

    rx.Close();
    EXPECT_FALSE(rx.IsOpen());
    EXPECT_EQ(rx.OsHandle(), 0u);
    EXPECT_EQ(rx.Read(buf, sizeof buf, 20), -1);
}

TEST(UdpSocketOpen, RefusesMalformedAddressesAndPeerPortZero) {
    const struct {
        const char* local;
        const char* remote;
    } bad[] = {
        {"127.0.0.1", "127.0.0.1:9"},    // no port
        {"127.0.0.1:0", "127.0.0.1:0"},  // no peer to send to
        {"1.2.3:0", "127.0.0.1:9"},
        {"127.0.0.1:0", "localhost:9"},
    };
    for (const auto& c : bad) {
        CUdpSocket s;
        EXPECT_FALSE(s.Open(c.local, c.remote)) << c.local << " " << c.remote;
        EXPECT_FALSE(s.IsOpen());
    }
}

// onlyFromPeer: a stranger's datagram is dropped and counted, the peer's comes; a datagram
// larger than the buffer is dropped rather than handed on cut.
TEST(UdpSocketRead, OnlyFromPeerDropsAndCountsStrangers) {
    CUdpSocket peer, stranger, rx;
    ASSERT_TRUE(peer.Open("127.0.0.1:0", "127.0.0.1:9"));
    ASSERT_TRUE(rx.Open("127.0.0.1:0", "127.0.0.1:" + std::to_string(peer.LocalPort()), true));
    const std::string to = "127.0.0.1:" + std::to_string(rx.LocalPort());
    ASSERT_TRUE(peer.Open("127.0.0.1:" + std::to_string(peer.LocalPort()), to));
    // Linux takes all of 127/8 as loopback; Wine only the addresses of its interfaces, so
    // there the stranger is another port of 127.0.0.1.
    if (!stranger.Open("127.0.0.2:" + std::to_string(peer.LocalPort()), to)) {
        std::printf("127.0.0.2: %s; the stranger is another port of 127.0.0.1\n",
                    stranger.OpenErrorText().c_str());
        ASSERT_TRUE(stranger.Open("127.0.0.1:0", to));
    }
    // The first datagram handed on; each dropped one is a read of 0.
    uint8_t buf[16];
    const auto next = [&](uint32_t size) {
        int32_t n = 0;
        for (int i = 0; i < 100 && n == 0; ++i) n = rx.Read(buf, size, 10000);
        return n > 0 ? std::string(reinterpret_cast<char*>(buf), static_cast<size_t>(n))
                     : std::string();
    };

    ASSERT_EQ(stranger.Write(U("bad"), 3), 3);
    ASSERT_EQ(peer.Write(U("good"), 4), 4);
    EXPECT_EQ(next(sizeof buf), "good");
    EXPECT_EQ(rx.DroppedCount(), 1u);

    ASSERT_EQ(peer.Write(U("0123456789"), 10), 10);
    ASSERT_EQ(peer.Write(U("ok"), 2), 2);
    EXPECT_EQ(next(4), "ok");
    EXPECT_EQ(rx.DroppedCount(), 1u);  // too large is not a stranger
}

TEST(UdpSocketOpen, SaysWhyTheBindFailed) {
    CUdpSocket a, b;
    ASSERT_TRUE(a.Open("127.0.0.1:0", "127.0.0.1:9"));
    EXPECT_FALSE(b.Open("127.0.0.1:" + std::to_string(a.LocalPort()), "127.0.0.1:9"));
    EXPECT_FALSE(b.OpenErrorText().empty());
    EXPECT_FALSE(b.Open("127.0.0.1", "127.0.0.1:9"));
    EXPECT_EQ(b.OpenErrorText(), "malformed address");
}

}  // namespace
