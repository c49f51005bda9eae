// UDP sockets on loopback: the read contract of ReadContract.h, and the addresses Open takes.
#include <gtest/gtest.h>

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

}  // namespace
