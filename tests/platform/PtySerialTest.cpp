// Serial ports on the slave side of real pseudo-terminals, as the simulated scanner uses them:
// the read contract of ReadContract.h on both sides. Only POSIX has pseudo-terminals.
#include <gtest/gtest.h>

#include <string>

#include "ReadContract.h"
#include "platform/pty.h"
#include "platform/serial.h"

namespace {

using qds::plat::CPtyMaster;
using qds::plat::CSerialPort;
using qds::plat::kInfinite;
using namespace platformtest;

class PtySerial : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!m_pty.Open()) GTEST_SKIP() << "no pseudo-terminals on this system";
        ASSERT_TRUE(m_port.Open(m_pty.SlavePath().c_str(), 9600));
    }
    CPtyMaster m_pty;
    CSerialPort m_port;
};

TEST_F(PtySerial, BytesBothWaysTimeOutAndInterrupt) {
    const ReadFn portRead = [&](uint8_t* b, uint32_t n, uint32_t t) {
        return m_port.Read(b, n, t);
    };
    const ReadFn ptyRead = [&](uint8_t* b, uint32_t n, uint32_t t) { return m_pty.Read(b, n, t); };

    ASSERT_EQ(m_pty.Write(U("abc"), 3), 3);
    EXPECT_EQ(ReadSome(portRead, 3), "abc");
    ASSERT_EQ(m_port.Write(U("xyz"), 3, 5000), 3);
    EXPECT_EQ(ReadSome(ptyRead, 3), "xyz");

    uint8_t buf[16];
    EXPECT_EQ(m_port.Read(buf, sizeof buf, 20), 0);
    EXPECT_EQ(m_pty.Read(buf, sizeof buf, 20), 0);
    EXPECT_EQ(m_port.Read(buf, 0, kInfinite), 0);  // nothing asked, nothing waited for

    ExpectInterruptEndsRead(portRead, [&] { m_port.Interrupt(); });
    ExpectInterruptEndsRead(ptyRead, [&] { m_pty.Interrupt(); });
}

TEST_F(PtySerial, ReadFailsOnceTheOtherSideIsGone) {
    m_pty.Close();
    EXPECT_FALSE(m_pty.IsOpen());
    uint8_t buf[16];
    EXPECT_EQ(m_port.Read(buf, sizeof buf, 10000), -1);
    EXPECT_EQ(m_pty.Read(buf, sizeof buf, 20), -1);
    m_port.Close();
    EXPECT_EQ(m_port.OsHandle(), 0u);
    EXPECT_EQ(m_port.Read(buf, sizeof buf, 20), -1);
}

// One holder at a time, whoever asks; the port is free again once the holder closes it.
TEST_F(PtySerial, ExclusiveUntilClosed) {
    CSerialPort second;
    EXPECT_FALSE(second.Open(m_pty.SlavePath().c_str(), 9600));
    EXPECT_EQ(second.OpenError(), qds::plat::SerialOpenError::InUse);
    EXPECT_FALSE(second.OpenErrorText().empty());
    m_port.Close();
    ASSERT_TRUE(second.Open(m_pty.SlavePath().c_str(), 9600));
    EXPECT_FALSE(m_port.Open(m_pty.SlavePath().c_str(), 9600));
}

TEST_F(PtySerial, SaysWhyOpenFailed) {
    CSerialPort other;
    EXPECT_FALSE(other.Open("/nonexistent/tty", 9600));
    EXPECT_EQ(other.OpenError(), qds::plat::SerialOpenError::NoSuchDevice);
    EXPECT_FALSE(other.OpenErrorText().empty());
    EXPECT_FALSE(other.Open(m_pty.SlavePath().c_str(), 12345));
    EXPECT_EQ(other.OpenError(), qds::plat::SerialOpenError::BaudNotSupported);
}

}  // namespace
