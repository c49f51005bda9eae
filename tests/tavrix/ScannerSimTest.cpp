// The simulated scanner's byte logic: its replies and its labels must be what a real scanner
// of each device type sends, or the end-to-end tests prove nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Line.h"
#include "Scanner.h"
#include "Simulator.h"
#include "platform/serial.h"

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

// The line model against a writer that is never late: every delivery at its time.
std::vector<sim::Delivery> Drain(sim::CLineModel& line) {
    std::vector<sim::Delivery> out;
    for (int64_t t = line.NextNs(); t != sim::CLineModel::kNever; t = line.NextNs()) {
        for (sim::Delivery& d : line.Due(t)) out.push_back(std::move(d));
    }
    return out;
}

constexpr int64_t kMs = 1000000;

TEST(ScannerSimLine, TimesWhatTheHostReceives) {
    struct Put {
        std::string bytes;
        int64_t notBeforeNs;
        int64_t pauseMs;  // >= 0: after the previous put's last character plus this
    };
    struct Out {
        int64_t atNs;
        size_t size;
    };
    struct Case {
        const char* what;
        sim::LineTiming timing;
        std::vector<Put> puts;
        std::vector<Out> want;
    };
    const int64_t c9600 = 10 * INT64_C(1000000000) / 9600;  // 1.04 ms a character
    const Case cases[] = {
        {"no timing: each put at once, whole",
         {0, 0},
         {{"ABCDE", 0, -1}, {"FG", 0, -1}},
         {{0, 5}, {0, 2}}},
        {"9600 baud: one character after another",
         {9600, 0},
         {{"ABC", 0, -1}},
         {{c9600, 1}, {2 * c9600, 1}, {3 * c9600, 1}}},
        {"115200 baud", {115200, 0}, {{"A", 0, -1}}, {{86805, 1}}},
        {"a second put waits for the line",
         {9600, 0},
         {{"A", 0, -1}, {"B", 0, -1}},
         {{c9600, 1}, {2 * c9600, 1}}},
        {"pause between two labels",
         {0, 0},
         {{"L1", 5 * kMs, -1}, {"L2", 0, 100}},
         {{5 * kMs, 2}, {105 * kMs, 2}}},
        {"adapter: held until its timer runs out",
         {0, 16},
         {{"0123456789", 5 * kMs, -1}},
         {{16 * kMs, 10}}},
        {"adapter: idle ticks pass unseen", {0, 16}, {{"X", 100 * kMs, -1}}, {{112 * kMs, 1}}},
        // 40 characters over 41.7 ms: what arrived by each 16 ms tick goes together.
        {"adapter at 9600 baud: bursts",
         {9600, 16},
         {{std::string(40, 'x'), 0, -1}},
         {{16 * kMs, 15}, {32 * kMs, 15}, {48 * kMs, 10}}},
        // A full buffer goes at once and restarts the timer.
        {"adapter: 62-byte buffer full",
         {0, 16},
         {{std::string(130, 'x'), 1 * kMs, -1}},
         {{1 * kMs, 62}, {1 * kMs, 62}, {17 * kMs, 6}}},
        {"adapter: a reply and a label in one burst",
         {0, 16},
         {{"\x06", 3 * kMs, -1}, {"label", 0, 0}},
         {{16 * kMs, 6}}},
        {"adapter: a label 20 ms after the reply",
         {0, 16},
         {{"\x06", 3 * kMs, -1}, {"label", 0, 20}},
         {{16 * kMs, 1}, {32 * kMs, 5}}},
    };
    for (const Case& c : cases) {
        sim::CLineModel line(c.timing, 0);
        for (const Put& p : c.puts) {
            const int64_t notBefore =
                p.pauseMs >= 0 ? line.LineFreeNs() + p.pauseMs * kMs : p.notBeforeNs;
            line.Put(p.bytes, notBefore);
        }
        const std::vector<sim::Delivery> got = Drain(line);
        ASSERT_EQ(got.size(), c.want.size()) << c.what;
        std::string all;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].atNs, c.want[i].atNs) << c.what << " #" << i;
            EXPECT_EQ(got[i].bytes.size(), c.want[i].size) << c.what << " #" << i;
            all += got[i].bytes;
        }
        std::string sent;
        for (const Put& p : c.puts) sent += p.bytes;
        EXPECT_EQ(all, sent) << c.what << ": bytes lost or reordered";
    }
}

// What a program reading the pseudo-terminal's slave sees, with the time of each read.
struct Chunk {
    int64_t atNs;
    std::string bytes;
};

int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class ScannerSimOnPty : public ::testing::Test {
  protected:
    bool Start(int type, sim::LineTiming timing) {
        sim::SimOptions o;
        o.devType = type;
        o.mode = sim::Mode::Pty;
        o.timing = timing;
        o.events = stderr;
        m_sim = std::make_unique<sim::CSimulator>(o);
        if (!m_sim->Start()) return false;
        return m_port.Open(m_sim->SlavePath().c_str(), 9600);
    }
    void TearDown() override {
        if (m_sim) m_sim->Stop();
    }
    // Reads until `want` bytes came or 5 s passed.
    std::vector<Chunk> ReadChunks(size_t want) {
        std::vector<Chunk> out;
        size_t total = 0;
        const int64_t limit = Now() + 5000 * kMs;
        while (total < want && Now() < limit) {
            uint8_t buf[512];
            const int32_t n = m_port.Read(buf, sizeof buf, 100);
            if (n < 0) break;
            if (n == 0) continue;
            out.push_back({Now(), std::string(reinterpret_cast<char*>(buf), n)});
            total += static_cast<size_t>(n);
        }
        return out;
    }
    static std::string Joined(const std::vector<Chunk>& chunks) {
        std::string all;
        for (const Chunk& c : chunks) all += c.bytes;
        return all;
    }
    // Runs a command on a thread of its own (it answers once its bytes are out) while this
    // thread reads; the read's chunks and the answer.
    std::vector<Chunk> SendAndRead(const std::string& command, size_t want, std::string* answer) {
        std::thread t([&] { *answer = m_sim->Execute(command); });
        std::vector<Chunk> chunks = ReadChunks(want);
        t.join();
        return chunks;
    }

    std::unique_ptr<sim::CSimulator> m_sim;
    qds::plat::CSerialPort m_port;
};

// A 13-digit label with its Code ID letter: 14 characters, 14.6 ms at 9600 baud.
TEST_F(ScannerSimOnPty, PacesALabelLikeALine) {
    struct Case {
        sim::LineTiming timing;
        size_t minReads, maxReads;
        int64_t minSpanNs;  // from the command to the last byte read: the line cannot be faster
    };
    const int64_t label9600 = 14 * 10 * INT64_C(1000000000) / 9600;
    const Case cases[] = {
        {{0, 0}, 1, 1, 0},  // one write, as before
        // A paced line usually reaches the reader in several reads, but a loaded machine may
        // wake it late and hand it more at once: only the span is a firm lower bound.
        {{9600, 0}, 1, 14, label9600},
        {{9600, 16}, 1, 2, label9600},  // 14.6 ms fit in at most two adapter bursts
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("baud " + std::to_string(c.timing.baud) + " adapter " +
                     std::to_string(c.timing.adapterMs));
        if (!Start(1, c.timing)) GTEST_SKIP() << "no pseudo-terminals on this system";
        const int64_t start = Now();
        std::string answer;
        const std::vector<Chunk> chunks = SendAndRead("scan ean13 4006381333931", 14, &answer);
        EXPECT_EQ(answer.rfind("OK 14 t=", 0), 0u) << answer;
        EXPECT_EQ(Joined(chunks), "d4006381333931");
        ASSERT_FALSE(chunks.empty());
        EXPECT_GE(chunks.size(), c.minReads);
        EXPECT_LE(chunks.size(), c.maxReads);
        EXPECT_GE(chunks.back().atNs - start, c.minSpanNs);
        EXPECT_LT(chunks.back().atNs - start, 2000 * kMs);
        m_sim->Stop();
        m_port.Close();
    }
}

// 40 bytes at 9600 baud (41.7 ms) through an adapter with a 16 ms timer: a few bursts at
// least several milliseconds apart, where the bare line gives many reads about 1 ms apart.
TEST_F(ScannerSimOnPty, AdapterForwardsInBursts) {
    if (!Start(1, {9600, 16})) GTEST_SKIP() << "no pseudo-terminals on this system";
    const std::string hex(80, 'A');  // 40 bytes of 0xAA
    std::string answer;
    const int64_t start = Now();
    const std::vector<Chunk> chunks = SendAndRead("raw " + hex, 40, &answer);
    EXPECT_EQ(answer.rfind("OK 40 t=", 0), 0u) << answer;
    ASSERT_EQ(Joined(chunks), std::string(40, '\xAA'));
    // Only lower bounds: a loaded machine may delay a read, never advance it. The adapter
    // holds the first bytes for its 16 ms latency timer (a plain line would show the first
    // byte after about 1 ms), and the line itself needs 40 character times for the rest.
    // How the bursts fall is the line model's to test, with its own clock.
    EXPECT_GE(chunks.front().atNs - start, 15 * kMs);
    EXPECT_GE(chunks.back().atNs - start, 40 * kMs);
}

TEST_F(ScannerSimOnPty, TwoLabelsWithAPause) {
    if (!Start(2, {})) GTEST_SKIP() << "no pseudo-terminals on this system";
    const int64_t start = Now();
    std::string answer;
    const std::vector<Chunk> chunks =
        SendAndRead("scan ean8 12345670 ean8 96385074 pause=100", 18, &answer);
    EXPECT_EQ(answer.rfind("OK 18 t=", 0), 0u) << answer;
    ASSERT_EQ(Joined(chunks), "g12345670g96385074");
    // The second label's bytes come 100 ms after the command at the earliest (a late reader
    // may take both labels in one read, never the second one early).
    size_t seen = 0;
    for (const Chunk& c : chunks) {
        seen += c.bytes.size();
        if (seen > 9) {
            EXPECT_GE(c.atNs - start, 100 * kMs);
        }
    }
}

// A type 3 scanner acknowledges a command; the armed label follows the acknowledgement
// after its pause, or with pause 0 behind an adapter in the same burst.
TEST_F(ScannerSimOnPty, LabelAfterTheReply) {
    struct Case {
        sim::LineTiming timing;
        int pauseMs;
        size_t reads;  // 0: two or more
    };
    const Case cases[] = {{{0, 0}, 60, 0}, {{0, 16}, 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE("pause " + std::to_string(c.pauseMs));
        if (!Start(3, c.timing)) GTEST_SKIP() << "no pseudo-terminals on this system";
        ASSERT_EQ(m_sim->Execute("afterreply " + std::to_string(c.pauseMs) + " scan code128 ABC"),
                  "OK armed");
        EXPECT_EQ(m_sim->Execute("waitsent 50"), "ERR timeout: no reply yet");
        const int64_t sent = Now();
        ASSERT_EQ(m_port.Write(reinterpret_cast<const uint8_t*>(kClaim.data()), 9, 1000), 9);
        const std::vector<Chunk> chunks = ReadChunks(13);
        const Bytes want =
            Bytes("\x06", 1) + Bytes("\x04\xFE\x00\x08\x02\x30\x00\x00\x00", 9) + "ABC";
        EXPECT_EQ(Joined(chunks), want);
        EXPECT_EQ(m_sim->Execute("waitsent 5000").rfind("OK 12 t=", 0), 0u);
        if (c.reads == 1) {
            EXPECT_EQ(chunks.size(), 1u) << "the reply and the label in one burst";
        } else {
            // A late reader may take both at once; the label can never come before its pause.
            EXPECT_EQ(chunks.front().bytes.substr(0, 1), "\x06");
            EXPECT_GE(chunks.back().atNs - sent, c.pauseMs * kMs);
        }
        m_sim->Stop();
        m_port.Close();
    }
}

}  // namespace
