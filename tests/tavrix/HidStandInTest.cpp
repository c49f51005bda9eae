// "HID" channels end to end below the service: the framework drives the built Vantrel library,
// which talks to stand-in scanners (SOCK_SEQPACKET nodes in a fixture device folder, listed by
// a fixture sysfs tree). Unplugging removes a scanner's node and its sysfs entry.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "Receiver.h"
#include "framework/TavrixExt.h"
#include "platform/hid_standin.h"
#include "platform/process.h"
#include "tavrix/Api.h"

namespace fs = std::filesystem;
using qds::plat::CHidStandIn;
using tvxtest::Receiver;
using tvxtest::StatusLog;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr auto kBound = std::chrono::seconds(2);  // generous: the figures are far below

std::vector<uint8_t> InputReport(const std::string& payload) {
    std::vector<uint8_t> r(64, 0);
    r[0] = 2;
    r[1] = static_cast<uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), r.begin() + 2);
    return r;
}

long long Ms(Clock::duration d) {
    return std::chrono::duration_cast<milliseconds>(d).count();
}

// Sends reports from a thread of its own at a fixed pace until stopped.
class Sender {
  public:
    Sender(CHidStandIn& scanner, std::string payload, milliseconds every)
        : m_thread([this, &scanner, payload, every] {
              const std::vector<uint8_t> report = InputReport(payload);
              while (!m_stop.load()) {
                  scanner.SendReport(report.data(), 64);
                  std::this_thread::sleep_for(every);
              }
          }) {}
    ~Sender() {
        m_stop.store(true);
        m_thread.join();
    }

  private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class HidStandIn : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() /
                 ("tavrix_hid_" + std::to_string(qds::plat::CurrentProcessId()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        fs::create_directories(m_root / "sys/class/hidraw");
        fs::create_directories(m_root / "dev");
        setenv("VANTREL_SYSFS_ROOT", (m_root / "sys").c_str(), 1);
        setenv("VANTREL_DEV_DIR", (m_root / "dev").c_str(), 1);
    }
    void TearDown() override {
        m_scanners.clear();
        unsetenv("VANTREL_SYSFS_ROOT");
        unsetenv("VANTREL_DEV_DIR");
        fs::remove_all(m_root);
    }
    // Plugs in a scanner: its sysfs entry and its node.
    CHidStandIn& Plug(const std::string& node, uint32_t inBuffer = 0,
                      const std::string& serial = "") {
        const fs::path dir = m_root / "sys/class/hidraw" / node / "device";
        fs::create_directories(dir);
        std::ofstream(dir / "uevent") << "DRIVER=hid-generic\nHID_ID=0003:00006A2F:00000A10\n"
                                      << "HID_UNIQ=" << serial << "\n";
        auto s = CHidStandIn::Create((m_root / "dev" / node).string(), inBuffer);
        EXPECT_NE(s, nullptr);
        CHidStandIn& ref = *s;
        m_scanners[node] = std::move(s);
        return ref;
    }
    void Unplug(const std::string& node) {
        m_scanners.erase(node);
        fs::remove_all(m_root / "sys/class/hidraw" / node);
    }
    TVX_HANDLE Open(const wchar_t* params) {
        return qds::tvx::OpenTransport(qds::tvx::MakeHidTransportFrom(
            VANTREL_LIBRARY_FILE, params ? params : L"", params == nullptr));
    }

    fs::path m_root;
    std::map<std::string, std::unique_ptr<CHidStandIn>> m_scanners;
};

TEST_F(HidStandIn, CloseReturnsWithinTheBoundWhateverTheDeviceSends) {
    const struct {
        const char* what;
        std::string payload;
        int everyMs;  // 0: the device sends nothing
    } cases[] = {
        {"idle", "", 0},
        {"an empty report every 50 ms", "", 50},
        {"an empty report every 2 ms", "", 2},
        {"a scan every 20 ms", "12345678", 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CHidStandIn& scanner = Plug("hidraw0");
        TVX_HANDLE h = Open(L"id=0");
        ASSERT_NE(h, nullptr);
        ASSERT_TRUE(scanner.Accept(10000));
        Receiver rx;
        ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);
        Clock::duration took{};
        {
            std::unique_ptr<Sender> sender;
            if (c.everyMs > 0)
                sender = std::make_unique<Sender>(scanner, c.payload, milliseconds(c.everyMs));
            std::this_thread::sleep_for(milliseconds(300));
            const auto start = Clock::now();
            EXPECT_EQ(qds::tvx::Close(h), 0);
            took = Clock::now() - start;
            rx.MarkClosed();
        }
        EXPECT_LT(took, kBound);
        EXPECT_FALSE(rx.CalledAfterClose());
        std::cout << "[ figure ] tvx_close with " << c.what << ": " << Ms(took) << " ms\n";
        Unplug("hidraw0");
    }
}

TEST_F(HidStandIn, ClearDuringAStreamIsBoundedAndAWriteAnswersMeanwhile) {
    CHidStandIn& scanner = Plug("hidraw0");
    TVX_HANDLE h = Open(L"id=0");
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(scanner.Accept(10000));
    Receiver rx;
    ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);
    {
        Sender stream(scanner, std::string(56, 'x'), milliseconds(1));
        ASSERT_TRUE(rx.WaitBytes(56));
        for (int round = 0; round < 3; ++round) {
            auto clear = std::async(std::launch::async, [&] {
                const auto start = Clock::now();
                EXPECT_EQ(qds::tvx::Clear(h), 0);
                return Clock::now() - start;
            });
            const uint8_t frame[4] = {0x7E, 0, 0, 1};
            const auto start = Clock::now();
            EXPECT_EQ(qds::tvx::Write(h, frame, 4, 100), 4);
            const auto wrote = Clock::now() - start;
            const auto cleared = clear.get();
            EXPECT_LT(wrote, kBound);
            EXPECT_LT(cleared, kBound);
            std::cout << "[ figure ] clear during a stream: " << Ms(cleared)
                      << " ms; write beside it: " << Ms(wrote) << " ms\n";
        }
        const auto start = Clock::now();
        EXPECT_EQ(qds::tvx::Close(h), 0);
        EXPECT_LT(Clock::now() - start, kBound);
    }
}

TEST_F(HidStandIn, TwentyFullReportsThenAnUnplugDeliverEveryByteInOrder) {
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        CHidStandIn& scanner = Plug("hidraw0");
        TVX_HANDLE h = Open(L"id=0");
        ASSERT_NE(h, nullptr);
        ASSERT_TRUE(scanner.Accept(10000));
        Receiver rx;
        ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);
        std::string sent;
        for (int r = 0; r < 20; ++r) {
            std::string payload;
            for (int i = 0; i < 56; ++i)
                payload.push_back(static_cast<char>((round * 7 + r * 56 + i) % 251));
            const std::vector<uint8_t> report = InputReport(payload);
            ASSERT_TRUE(scanner.SendReport(report.data(), 64));
            sent += payload;
        }
        Unplug("hidraw0");
        EXPECT_TRUE(rx.WaitBytes(sent.size()));
        EXPECT_EQ(rx.Bytes().size(), 1120u);
        EXPECT_TRUE(rx.Bytes() == sent);
        EXPECT_EQ(qds::tvx::Close(h), 0);
    }
}

TEST_F(HidStandIn, TheChannelWaitsForItsOwnScannerAndNeverTakesAnother) {
    CHidStandIn& other = Plug("hidraw0");
    CHidStandIn& mine = Plug("hidraw1");
    TVX_HANDLE h = Open(nullptr);  // no "id": the last one listed, hidraw1
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(mine.Accept(10000));
    EXPECT_FALSE(other.Accept(0));
    Receiver rx;
    StatusLog status;
    ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);
    ASSERT_EQ(qds::tvx::RegisterStatus(h, &StatusLog::Notify, &status), 0);

    Unplug("hidraw1");
    ASSERT_TRUE(status.WaitCount(1));
    // Several reopen attempts pass; the other scanner stays untouched.
    std::this_thread::sleep_for(milliseconds(2500));
    EXPECT_FALSE(other.Accept(0));
    EXPECT_EQ(status.Events(), std::vector<int32_t>{TVX_STATUS_LOST});
    const uint8_t b = 1;
    EXPECT_EQ(qds::tvx::Write(h, &b, 1, 100), -1);

    CHidStandIn& back = Plug("hidraw1");
    ASSERT_TRUE(back.Accept(10000));
    ASSERT_TRUE(status.WaitCount(2));
    EXPECT_EQ(status.Events(), (std::vector<int32_t>{TVX_STATUS_LOST, TVX_STATUS_BACK}));
    const std::vector<uint8_t> report = InputReport("after replug");
    ASSERT_TRUE(back.SendReport(report.data(), 64));
    ASSERT_TRUE(rx.WaitBytes(12));
    EXPECT_EQ(rx.Bytes(), "after replug");
    EXPECT_FALSE(other.Accept(0));
    EXPECT_EQ(qds::tvx::Close(h), 0);
}

TEST_F(HidStandIn, AFlappingScannerIsReopenedAtMostAboutOnceASecond) {
    CHidStandIn& scanner = Plug("hidraw0");
    TVX_HANDLE h = Open(L"id=0");
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(scanner.Accept(10000));
    // From now on every connection is dropped as soon as it is made.
    scanner.Unplug();
    int opens = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(5)) {
        if (scanner.Accept(50)) {
            ++opens;
            scanner.Unplug();
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(qds::tvx::Close(h), 0);
    std::cout << "[ figure ] flapping scanner: " << opens << " reopens in " << seconds << " s\n";
    EXPECT_GE(opens, 1);
    EXPECT_LE(opens, static_cast<int>(seconds) + 1);
}

TEST_F(HidStandIn, AStalledWriteAnswersWithinItsTimeOutAndTheDeviceIsReopened) {
    CHidStandIn& scanner = Plug("hidraw0", 1024);  // nobody reads it: writes stall
    TVX_HANDLE h = Open(L"id=0");
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(scanner.Accept(10000));
    StatusLog status;
    ASSERT_EQ(qds::tvx::RegisterStatus(h, &StatusLog::Notify, &status), 0);
    const std::vector<uint8_t> data(56, 0x33);
    Clock::duration longest{};
    int32_t r = 0;
    for (int i = 0; i < 2000 && r != -1; ++i) {
        const auto start = Clock::now();
        r = qds::tvx::Write(h, data.data(), 56, 100);
        longest = std::max(longest, Clock::now() - start);
    }
    EXPECT_EQ(r, -1);
    EXPECT_LT(longest, kBound);
    std::cout << "[ figure ] longest write with a 100 ms time-out: " << Ms(longest) << " ms\n";
    // The write that cannot complete shuts the device down; the channel opens it again.
    ASSERT_TRUE(status.WaitCount(2));
    EXPECT_EQ(status.Events(), (std::vector<int32_t>{TVX_STATUS_LOST, TVX_STATUS_BACK}));
    EXPECT_EQ(qds::tvx::Close(h), 0);
}

TEST_F(HidStandIn, StatusComesInOrderAndNeverAfterClose) {
    Plug("hidraw0");
    TVX_HANDLE h = Open(L"id=0");
    ASSERT_NE(h, nullptr);
    StatusLog status;
    ASSERT_EQ(qds::tvx::RegisterStatus(h, &StatusLog::Notify, &status), 0);
    for (int round = 0; round < 2; ++round) {
        Unplug("hidraw0");
        ASSERT_TRUE(status.WaitCount(2 * round + 1));
        Plug("hidraw0");
        ASSERT_TRUE(status.WaitCount(2 * round + 2));
    }
    EXPECT_EQ(status.Events(), (std::vector<int32_t>{TVX_STATUS_LOST, TVX_STATUS_BACK,
                                                     TVX_STATUS_LOST, TVX_STATUS_BACK}));
    EXPECT_EQ(qds::tvx::Close(h), 0);
    status.MarkClosed();
    Unplug("hidraw0");
    Plug("hidraw0");
    std::this_thread::sleep_for(milliseconds(1500));
    EXPECT_FALSE(status.CalledAfterClose());
}

// With a serial number the channel follows its scanner to another node (as Linux may number
// a replugged device anew), and takes no other scanner, even on its old node.
TEST_F(HidStandIn, AScannerWithASerialNumberIsFollowedToItsNewNode) {
    CHidStandIn& other = Plug("hidraw0", 0, "OTHER-1");
    CHidStandIn& mine = Plug("hidraw1", 0, "MINE-7");
    TVX_HANDLE h = Open(L"id=1");
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(mine.Accept(10000));
    Receiver rx;
    StatusLog status;
    ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);
    ASSERT_EQ(qds::tvx::RegisterStatus(h, &StatusLog::Notify, &status), 0);

    Unplug("hidraw1");
    ASSERT_TRUE(status.WaitCount(1));
    CHidStandIn& stranger = Plug("hidraw1", 0, "STRANGER-3");  // another scanner, my old node
    std::this_thread::sleep_for(milliseconds(2500));
    EXPECT_FALSE(stranger.Accept(0));
    EXPECT_FALSE(other.Accept(0));
    EXPECT_EQ(status.Events(), std::vector<int32_t>{TVX_STATUS_LOST});

    CHidStandIn& moved = Plug("hidraw2", 0, "MINE-7");
    ASSERT_TRUE(moved.Accept(10000));
    ASSERT_TRUE(status.WaitCount(2));
    const std::vector<uint8_t> report = InputReport("moved");
    ASSERT_TRUE(moved.SendReport(report.data(), 64));
    ASSERT_TRUE(rx.WaitBytes(5));
    EXPECT_EQ(rx.Bytes(), "moved");
    EXPECT_FALSE(stranger.Accept(0));
    EXPECT_FALSE(other.Accept(0));
    EXPECT_EQ(qds::tvx::Close(h), 0);
}

}  // namespace
