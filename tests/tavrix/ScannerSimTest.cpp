// The simulated scanner's byte logic: its replies and its labels must be what a real scanner
// of each device type sends, or the end-to-end tests prove nothing.
#include <gtest/gtest.h>

#include "Scanner.h"

namespace {

using sim::Bytes;
using sim::CScanner;

const Bytes kClaim(
    "\x7E\x00\x00\x04"
    "1331\xFB",
    9);
const Bytes kEnable(
    "\x7E\x00\x00\x04"
    "1321\xFA",
    9);

TEST(ScannerSim, Type3AnswersEachGoodFrame) {
    struct Case {
        const char* mode;
        Bytes reply;
    };
    const Case cases[] = {
        {"auto", "\x06"},
        {"ack", "\x06"},
        {"nak", "\x15"},
        {"r20", Bytes("\x02\x00\x00\x02\x32\x30\xFF", 7)},
        {"r21", Bytes("\x02\x00\x00\x02\x32\x31\xFE", 7)},
    };
    for (const Case& c : cases) {
        CScanner s(3, false);
        sim::ReplyMode m;
        ASSERT_TRUE(sim::ParseReplyMode(c.mode, &m));
        s.SetReplyMode(m);
        // Split across calls, with noise before it: one frame, one reply.
        EXPECT_TRUE(s.Receive(Bytes("\x01\x02", 2) + kClaim.substr(0, 4)).empty()) << c.mode;
        EXPECT_EQ(s.Receive(kClaim.substr(4)), std::vector<Bytes>{c.reply}) << c.mode;
        EXPECT_EQ(s.Receive(kEnable + kEnable), (std::vector<Bytes>{c.reply, c.reply}));
    }
    CScanner s(3, false);
    Bytes bad = kClaim;
    bad[8] = '\xFA';  // wrong check byte
    EXPECT_TRUE(s.Receive(bad).empty());
    EXPECT_EQ(s.CommandCount(), 0u);
}

TEST(ScannerSim, CheckByteRule) {
    EXPECT_EQ(CScanner::CheckByte(kClaim, 8), 0xFB);
    EXPECT_EQ(CScanner::CheckByte(kEnable, 8), 0xFA);
    EXPECT_EQ(CScanner::CheckByte(Bytes("\x02\x00\x00\x02\x32\x30", 6), 6), 0xFF);
}

TEST(ScannerSim, MarkerTypesAnswerLikeTheirFraming) {
    struct Case {
        int type;
        bool serial;
        Bytes in;
        std::vector<Bytes> out;
    };
    const Case cases[] = {
        {2, true, "$$$$#99900102;%%%%", {"^^^^"}},
        {2, true, "$$$$%%%%", {"^^^^"}},
        {4, true, "#99904041;%%%%", {"^^^^"}},
        {2, false, "#99904041;", {"!99904041;"}},
        {4, false, "#99904040;", {"!99904040;"}},
        {1, true, "QDS0307010", {}},
        {1, false, "QDS0307000", {}},
    };
    for (const Case& c : cases) {
        CScanner s(c.type, c.serial);
        EXPECT_EQ(s.Receive(c.in), c.out) << c.type << " " << c.in;
    }
}

TEST(ScannerSim, Labels) {
    struct Case {
        int type;
        const char* sym;
        int version;
        Bytes want;
    };
    const Case cases[] = {
        {1, "ean13", 0, "d123"},
        {1, "qr", 0, "s123"},
        {2, "ean8", 0, "g123"},
        {4, "code93", 0, "y123"},
        {1, "code93", 0, "i123"},
        {3, "code128", 1,
         Bytes("\x04\xFF\x00\x03\x02\x00\x00\x00"
               "123",
               11)},
        {3, "qr", 2,
         Bytes("\x04\xFE\x00\x08\x21\x30\x00\x00\x00"
               "123",
               12)},
    };
    for (const Case& c : cases) {
        CScanner s(c.type, true);
        Bytes out;
        std::string why;
        ASSERT_TRUE(s.BuildLabel(*sim::FindSymbology(c.sym), "123", c.version, 0x30, &out, &why))
            << why;
        EXPECT_EQ(out, c.want) << c.type << " " << c.sym;
    }
    CScanner s(2, true);
    Bytes out;
    std::string why;
    EXPECT_FALSE(s.BuildLabel(*sim::FindSymbology("qr"), "1", 0, 0, &out, &why));
    EXPECT_EQ(sim::FindSymbology("nonsense"), nullptr);
}

TEST(ScannerSim, EscapesAndHex) {
    EXPECT_EQ(sim::Unescape("a\\x00b\\x7e\\x"), Bytes("a\0b~\\x", 6));
    Bytes b;
    EXPECT_TRUE(sim::FromHex("00ff7E", &b));
    EXPECT_EQ(b, Bytes("\x00\xff\x7e", 3));
    EXPECT_EQ(sim::ToHex(b), "00FF7E");
    EXPECT_FALSE(sim::FromHex("0", &b));
    EXPECT_FALSE(sim::FromHex("zz", &b));
}

}  // namespace
