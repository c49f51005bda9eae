// Every way tvx_open can fail says why, with what it tried and what the OS answered.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "OtherUser.h"
#include "framework/Tavrix.h"
#include "platform/pty.h"
#include "platform/registry_testing.h"
#include "platform/serial.h"
#include "platform/udp.h"
#include "tavrix/Api.h"
#include "tavrix/LastError.h"

namespace {

using qds::plat::RegView;
using qds::plat::testing::CScopedRegistry;

const RegView kView = sizeof(void*) == 8 ? RegView::View64 : RegView::View32;
const char* const kCom = "SOFTWARE\\Tavrix\\COM";

std::string LastError() {
    char buf[1024] = {};
    qds::tvx::CopyLastReason(buf, sizeof buf);
    return buf;
}

// One row's attempt: the parameters, and what the reason must mention; or why the row
// cannot be produced here.
struct Attempt {
    std::string skip;
    std::wstring params;
    std::vector<std::string> mention;
    std::function<void()> before, after;  // around the tvx_open call
};

Attempt Skip(const std::string& why) {
    Attempt a;
    a.skip = why;
    return a;
}

Attempt Try(const std::string& params, std::vector<std::string> mention) {
    Attempt a;
    a.params.assign(params.begin(), params.end());
    a.mention = std::move(mention);
    return a;
}

class OpenReasons : public ::testing::Test {
  public:
    // COM9 maps to a fresh pseudo-terminal; false when there are none here.
    bool MapPty() {
        if (!m_pty.Open()) return false;
        return m_reg.SetString(kView, kCom, "COM9", m_pty.SlavePath());
    }
    CScopedRegistry m_reg{{{kView, kCom}}};
    qds::plat::CPtyMaster m_pty;
};

TEST_F(OpenReasons, EachFailureSaysWhy) {
    struct Row {
        const char* name;
        const wchar_t* type;
        std::function<Attempt()> attempt;
    };
    const std::string noPty = "no pseudo-terminals here";
    std::unique_ptr<qds::plat::CSerialPort> holder;
    std::unique_ptr<qds::plat::CUdpSocket> taken;
    std::unique_ptr<tvxtest::CAsUnprivileged> unprivileged;
    const Row rows[] = {
        {"unknown type", L"CAN",
         [] {
             return Try("com=1;baud=9600", {"unknown type", "CAN"});
         }},
        {"malformed parameters: no baud", L"COM",
         [] {
             return Try("com=1", {"malformed parameters", "com=1"});
         }},
        {"malformed parameters: not a number", L"COM",
         [] {
             return Try("com=one;baud=9600", {"malformed parameters", "com=one"});
         }},
        {"malformed parameters: udp address", L"udp",
         [] {
             return Try("local=127.0.0.1;remote=127.0.0.1:9", {"malformed", "127.0.0.1"});
         }},
        {"malformed parameters: AcceptFrom", L"udp",
         [] {
             return Try("local=127.0.0.1:0;remote=127.0.0.1:9;acceptfrom=lan",
                        {"malformed parameters", "AcceptFrom", "lan"});
         }},
        {"port number out of range: 0", L"COM",
         [] {
             return Try("com=0;baud=9600", {"out of range", "0"});
         }},
        {"port number out of range: 257", L"COM",
         [] {
             return Try("com=257;baud=9600", {"out of range", "257"});
         }},
        {"no such device", L"COM",
         [] {
             return Try("com=200;baud=9600",
                        {"no such device", "COM200", qds::plat::SerialPortPath(200, "")});
         }},
        {"baud rate not supported", L"COM",
         [&] {
             if (!MapPty()) return Skip(noPty);
             return Try("com=9;baud=12345", {"baud rate 12345 not supported", m_pty.SlavePath()});
         }},
        {"port in use: another channel of this process", L"COM",
         [&] {
             if (!MapPty()) return Skip(noPty);
             holder = std::make_unique<qds::plat::CSerialPort>();
             if (!holder->Open(m_pty.SlavePath().c_str(), 9600)) return Skip("cannot hold it");
             Attempt a = Try("com=9;baud=9600", {"port in use", m_pty.SlavePath()});
             a.after = [&] { holder.reset(); };
             return a;
         }},
        {"permission denied", L"COM",
         [&] {
             if (!MapPty()) return Skip(noPty);
             {
                 tvxtest::CAsUnprivileged probe;
                 if (!probe.Active()) return Skip(probe.Why());
             }
             Attempt a = Try("com=9;baud=9600", {"permission denied", m_pty.SlavePath()});
             a.before = [&] { unprivileged = std::make_unique<tvxtest::CAsUnprivileged>(); };
             a.after = [&] { unprivileged.reset(); };
             return a;
         }},
        {"bind failed", L"udp",
         [&] {
             taken = std::make_unique<qds::plat::CUdpSocket>();
             if (!taken->Open("127.0.0.1:0", "127.0.0.1:9")) return Skip("no loopback");
             const std::string local = "127.0.0.1:" + std::to_string(taken->LocalPort());
             Attempt a = Try("local=" + local + ";remote=127.0.0.1:9", {"bind failed", local});
             a.after = [&] { taken.reset(); };
             return a;
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Attempt a = row.attempt();
        if (!a.skip.empty()) {
            std::printf("[  SKIPPED ] row \"%s\": %s\n", row.name, a.skip.c_str());
            continue;
        }
        if (a.before) a.before();
        TVX_HANDLE h = qds::tvx::Open(row.type, a.params.c_str(), 1);
        const std::string reason = LastError();
        if (a.after) a.after();
        EXPECT_EQ(h, nullptr);
        if (h != nullptr) qds::tvx::Close(h);
        for (const std::string& m : a.mention) {
            EXPECT_NE(reason.find(m), std::string::npos) << "\"" << m << "\" not in: " << reason;
        }
        m_pty.Close();
    }
}

// The OS's own words come with it, after the path.
TEST_F(OpenReasons, NoSuchDeviceCarriesTheOsText) {
    ASSERT_EQ(qds::tvx::Open(L"COM", L"com=200;baud=9600", 1), nullptr);
    const std::string reason = LastError();
    const std::string path = qds::plat::SerialPortPath(200, "");
    const size_t at = reason.find(path);
    ASSERT_NE(at, std::string::npos) << reason;
    EXPECT_GT(reason.size(), at + path.size() + 3) << "no OS text in: " << reason;
}

// Once the holder lets go, the port opens.
TEST_F(OpenReasons, PortInUseUntilTheHolderCloses) {
    if (!MapPty()) GTEST_SKIP() << "no pseudo-terminals here";
    TVX_HANDLE first = qds::tvx::Open(L"COM", L"com=9;baud=9600", 1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(qds::tvx::Open(L"COM", L"com=9;baud=9600", 1), nullptr);
    EXPECT_NE(LastError().find("port in use"), std::string::npos) << LastError();
    EXPECT_EQ(qds::tvx::Close(first), 0);
    TVX_HANDLE second = qds::tvx::Open(L"COM", L"com=9;baud=9600", 1);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(qds::tvx::Close(second), 0);
}

}  // namespace
