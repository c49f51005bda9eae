// The framework's registry values: COMN (POSIX), udp Local and Remote, HID PlugIn and Params.
#include <gtest/gtest.h>

#include "Receiver.h"
#include "platform/dynlib.h"
#include "platform/process.h"
#include "platform/pty.h"
#include "platform/registry_testing.h"
#include "platform/udp.h"
#include "tavrix/Api.h"

namespace {

using qds::plat::RegView;
using qds::plat::testing::CScopedRegistry;
using tvxtest::Receiver;

const RegView kView = sizeof(void*) == 8 ? RegView::View64 : RegView::View32;
const char* const kCom = "SOFTWARE\\Tavrix\\COM";
const char* const kUdp = "SOFTWARE\\Tavrix\\udp";
const char* const kHid = "SOFTWARE\\Tavrix\\HID";

std::string BesideTest(const char* name) {
    const std::string exe = qds::plat::ExecutablePath();
    return exe.substr(0, exe.find_last_of(qds::plat::PathSeparator()) + 1) +
           qds::plat::SharedLibPrefix() + name + qds::plat::SharedLibSuffix();
}

CScopedRegistry::KeyRef Key(const char* k) {
    return {kView, k};
}

TEST(TavrixRegistry, ComPortPathComesFromTheRegistry) {
    qds::plat::CPtyMaster pty;
    if (!pty.Open()) GTEST_SKIP() << "no pseudo-terminals on this system";
    CScopedRegistry reg({Key(kCom)});
    ASSERT_TRUE(reg.SetString(kView, kCom, "COM7", pty.SlavePath()));
    TVX_HANDLE h = qds::tvx::Open(L"COM", L"com=7;baud=9600", 1);
    ASSERT_NE(h, nullptr);
    Receiver rx;
    ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);
    ASSERT_EQ(pty.Write(reinterpret_cast<const uint8_t*>("b12"), 3), 3);
    ASSERT_TRUE(rx.WaitBytes(3));
    EXPECT_EQ(rx.Bytes(), "b12");
    EXPECT_EQ(qds::tvx::Close(h), 0);
    // Another port number is not mapped, and /dev/ttyS<huge> does not exist.
    EXPECT_EQ(qds::tvx::Open(L"COM", L"com=200;baud=9600", 1), nullptr);
}

TEST(TavrixRegistry, UdpAddressesComeFromTheRegistry) {
    CScopedRegistry reg({Key(kUdp)});
    qds::plat::CUdpSocket peer;
    ASSERT_TRUE(peer.Open("127.0.0.1:0", "127.0.0.1:9"));
    uint16_t mine;
    {
        qds::plat::CUdpSocket probe;
        ASSERT_TRUE(probe.Open("127.0.0.1:0", "127.0.0.1:9"));
        mine = probe.LocalPort();
    }
    ASSERT_TRUE(reg.SetString(kView, kUdp, "Local", "127.0.0.1:" + std::to_string(mine)));
    ASSERT_TRUE(
        reg.SetString(kView, kUdp, "Remote", "127.0.0.1:" + std::to_string(peer.LocalPort())));
    TVX_HANDLE h = qds::tvx::Open(L"udp", nullptr, 1);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(qds::tvx::Write(h, reinterpret_cast<const uint8_t*>("ping"), 4, 100), 4);
    uint8_t buf[16];
    ASSERT_EQ(peer.Read(buf, sizeof buf, 10000), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "ping");
    EXPECT_EQ(qds::tvx::Close(h), 0);

    ASSERT_TRUE(reg.SetString(kView, kUdp, "Remote", "not an address"));
    EXPECT_EQ(qds::tvx::Open(L"udp", nullptr, 1), nullptr);
}

TEST(TavrixRegistry, HidPlugInAndParamsComeFromTheRegistry) {
    CScopedRegistry reg({Key(kHid)});
    const std::string plug = BesideTest("tavrix_fake_plugin");
    qds::plat::LibHandle lib = qds::plat::LoadLib(plug.c_str());
    ASSERT_NE(lib, nullptr);
    auto reset = reinterpret_cast<void(KX_CDECL*)()>(qds::plat::GetSymbol(lib, "FakePlug_Reset"));
    auto lastParams = reinterpret_cast<int32_t(KX_CDECL*)(wchar_t*, uint32_t)>(
        qds::plat::GetSymbol(lib, "FakePlug_LastParams"));
    reset();
    ASSERT_TRUE(reg.SetString(kView, kHid, "PlugIn", plug));
    ASSERT_TRUE(reg.SetString(kView, kHid, "Params", "id=2"));
    wchar_t buf[64];

    struct Case {
        const wchar_t* params;  // given to tvx_open
        std::wstring want;      // what PlugOpen got
    };
    const Case cases[] = {{nullptr, L"id=2"}, {L"id=0", L"id=0"}, {L"", L""}};
    for (const Case& c : cases) {
        TVX_HANDLE h = qds::tvx::Open(L"HID", c.params, 1);
        ASSERT_NE(h, nullptr);
        const int32_t n = lastParams(buf, 64);
        ASSERT_GE(n, 0);
        EXPECT_EQ(std::wstring(buf, static_cast<size_t>(n)), c.want);
        EXPECT_EQ(qds::tvx::Close(h), 0);
    }
    // No Params value and no caller string: PlugOpen gets null.
    ASSERT_TRUE(reg.DeleteValue(kView, kHid, "Params"));
    TVX_HANDLE h = qds::tvx::Open(L"HID", nullptr, 1);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(lastParams(buf, 64), -1);
    EXPECT_EQ(qds::tvx::Close(h), 0);

    ASSERT_TRUE(reg.SetString(kView, kHid, "PlugIn", BesideTest("tavrix_notable_plugin")));
    EXPECT_EQ(qds::tvx::Open(L"HID", nullptr, 1), nullptr);
    qds::plat::FreeLib(lib);
}

}  // namespace
