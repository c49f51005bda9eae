// Parameter strings, addresses, and what tvx_open makes of bad input.
#include <gtest/gtest.h>

#include "platform/udp.h"
#include "tavrix/Api.h"
#include "tavrix/Params.h"

namespace {

using qds::tvx::ParseParams;

TEST(TavrixParams, ParsesEntries) {
    struct Case {
        const wchar_t* text;
        bool ok;
        std::map<std::string, std::string> want;
    };
    const Case cases[] = {
        {L"com=3;baud=9600", true, {{"com", "3"}, {"baud", "9600"}}},
        {L"COM=3;Baud=9600;", true, {{"com", "3"}, {"baud", "9600"}}},
        {L"", true, {}},
        {L";;id=2;;", true, {{"id", "2"}}},
        {L"id=", true, {{"id", ""}}},
        {L"local=127.0.0.1:5;remote=10.0.0.1:6",
         true,
         {{"local", "127.0.0.1:5"}, {"remote", "10.0.0.1:6"}}},
        {L"com", false, {}},
        {L"=3", false, {}},
        {L"com=3;com=4", false, {}},
        {L"com=3;baud", false, {}},
    };
    for (const Case& c : cases) {
        std::map<std::string, std::string> got;
        EXPECT_EQ(ParseParams(c.text, &got), c.ok) << std::string(c.text, c.text + wcslen(c.text));
        if (c.ok) {
            EXPECT_EQ(got, c.want);
        }
    }
}

TEST(TavrixParams, Decimal) {
    uint32_t v = 7;
    EXPECT_TRUE(qds::tvx::ParseDecimal("0", &v));
    EXPECT_EQ(v, 0u);
    EXPECT_TRUE(qds::tvx::ParseDecimal("115200", &v));
    EXPECT_EQ(v, 115200u);
    for (const char* bad : {"", "-1", "+1", "1x", " 1", "1234567890"}) {
        EXPECT_FALSE(qds::tvx::ParseDecimal(bad, &v)) << bad;
    }
}

TEST(TavrixParams, UdpAddresses) {
    struct Case {
        const char* text;
        bool ok;
        uint32_t host;
        uint16_t port;
    };
    const Case cases[] = {
        {"127.0.0.1:9100", true, 0x7F000001, 9100},
        {"0.0.0.0:0", true, 0, 0},
        {":7", true, 0, 7},
        {"255.255.255.255:65535", true, 0xFFFFFFFF, 65535},
        {"127.0.0.1", false, 0, 0},
        {"127.0.0.1:", false, 0, 0},
        {"127.0.0.1:65536", false, 0, 0},
        {"256.0.0.1:1", false, 0, 0},
        {"1.2.3:1", false, 0, 0},
        {"1.2.3.4.5:1", false, 0, 0},
        {"host:1", false, 0, 0},
        {"1.2.3.4:x", false, 0, 0},
    };
    for (const Case& c : cases) {
        uint32_t host = 1;
        uint16_t port = 1;
        EXPECT_EQ(qds::plat::ParseUdpAddress(c.text, &host, &port), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(host, c.host) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
        }
    }
}

TEST(TavrixOpen, BadInputGivesNullHandle) {
    struct Case {
        const wchar_t* type;
        const wchar_t* params;
    };
    const Case cases[] = {
        {nullptr, L"com=1;baud=9600"},
        {L"", nullptr},
        {L"LPT", L"com=1;baud=9600"},
        {L"COMX", L"com=1;baud=9600"},
        {L"COM", nullptr},
        {L"COM", L""},
        {L"COM", L"com=1"},
        {L"COM", L"baud=9600"},
        {L"COM", L"com=0;baud=9600"},
        {L"COM", L"com=x;baud=9600"},
        {L"COM", L"com=1;baud=0"},
        {L"COM", L"com=1;baud=9600;com=2"},
        {L"COM", L"com=999;baud=9600"},
        {L"udp", L"local=nonsense"},
        {L"udp", L"remote=127.0.0.1:0"},
        {L"udp", L"local"},
        {L"HID", L"id=0"},  // no plug-in beside the test program
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qds::tvx::Open(c.type, c.params, 1), nullptr)
            << (c.type ? std::string(c.type, c.type + wcslen(c.type)) : "null") << " "
            << (c.params ? std::string(c.params, c.params + wcslen(c.params)) : "null");
    }
}

TEST(TavrixOpen, NullAndForeignHandlesDoNothing) {
    EXPECT_EQ(qds::tvx::Clear(nullptr), 0);
    EXPECT_EQ(qds::tvx::Close(nullptr), 0);
    int notAChannel = 0;
    EXPECT_EQ(qds::tvx::Close(&notAChannel), -1);
    EXPECT_EQ(qds::tvx::Clear(&notAChannel), -1);
    const uint8_t b = 1;
    EXPECT_EQ(qds::tvx::Write(&notAChannel, &b, 1, 100), -1);
    EXPECT_EQ(qds::tvx::Write(nullptr, &b, 1, 100), -1);
    EXPECT_EQ(qds::tvx::RegisterNotify(nullptr, 0, nullptr, nullptr), -1);
}

}  // namespace
