// The reader thread, the ring, reads with a time-out, chunked writes, clearing and the
// lifecycle, against a scripted device behind the backend interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "hid_plugin/PlugTable.h"
#include "tests/hid_plugin/ScriptedHidDevice.h"

using namespace hid_test;
using qds::hid::HidPosDevice;
using qds::plat::HidIo;

namespace {

class HidDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        script = std::make_shared<Script>();
        device = OpenScripted(script);
        ASSERT_NE(device, nullptr);
        script->WaitReadsHandled(0);
    }
    void TearDown() override {
        if (device != nullptr) {
            EXPECT_EQ(PlugClose(device), 0);
        }
    }
    // Delivers a report and waits until the reader thread has dealt with it.
    void Deliver(const Report& r, uint32_t count = 64) {
        script->PushReport(r, count);
        script->WaitReadsHandled(++delivered);
    }

    std::shared_ptr<Script> script;
    HidPosDevice* device = nullptr;
    size_t delivered = 0;
};

// Counts the waits of ReadWithTimeout and lets the test act at the n-th one.
class WaitCounter {
  public:
    static void Hook(void* self, uint32_t timeoutMs) {
        auto* c = static_cast<WaitCounter*>(self);
        std::lock_guard<std::mutex> lock(c->m_mutex);
        ++c->m_waits;
        c->m_timeouts.push_back(timeoutMs);
        c->m_cv.notify_all();
    }
    std::vector<uint32_t> Timeouts() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_timeouts;
    }
    void WaitFor(int n) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [&] { return m_waits >= n; });
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_waits = 0;
    std::vector<uint32_t> m_timeouts;
};

TEST_F(HidDeviceTest, OpenDeviceReportsOpenAndReadsNothingWithoutWaiting) {
    EXPECT_EQ(PlugGetStatus(device), PLUG_STATUS_OPEN);
    uint8_t buf[8] = {};
    EXPECT_EQ(PlugRead(device, buf, 8, 0), 0);
    EXPECT_EQ(PlugRead(device, buf, 0, PLUG_INFINITE), 0);
    EXPECT_EQ(PlugRead(device, nullptr, 8, 0), PLUG_E_ARGUMENT);
    EXPECT_EQ(PlugRead(nullptr, buf, 8, 0), PLUG_E_ARGUMENT);
}

// A timed read that gets some bytes returns them after a short follow-up wait, not at the end of
// its (here generous) time-out.
TEST_F(HidDeviceTest, BytesThatComeDuringATimedWaitEndTheRead) {
    WaitCounter waits;
    device->SetWaitHookForTests(WaitCounter::Hook, &waits);
    auto read = std::async(std::launch::async, [&] {
        std::vector<uint8_t> buf(64);
        const int32_t n = PlugRead(device, buf.data(), 64, 60000);
        buf.resize(n > 0 ? n : 0);
        return std::make_pair(n, buf);
    });
    waits.WaitFor(1);
    Deliver(InputReport(2, 10, 0x30));
    const auto [n, bytes] = read.get();
    ASSERT_EQ(n, 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(bytes[i], 0x30 + i);
    // The caller's time-out for the first bytes, then one 20 ms wait that brings nothing.
    EXPECT_EQ(waits.Timeouts(), (std::vector<uint32_t>{60000, 20}));
}

TEST_F(HidDeviceTest, InfiniteReadGathersAcrossReportsAndLeavesTheRest) {
    Deliver(InputReport(2, 3, 1));
    Deliver(InputReport(2, 4, 11));
    uint8_t buf[8] = {};
    ASSERT_EQ(PlugRead(device, buf, 5, PLUG_INFINITE), 5);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 5), (std::vector<uint8_t>{1, 2, 3, 11, 12}));
    ASSERT_EQ(PlugRead(device, buf, 8, 0), 2);
    EXPECT_EQ(buf[0], 13);
    EXPECT_EQ(buf[1], 14);
}

TEST_F(HidDeviceTest, InfiniteReadWaitsForLaterReports) {
    WaitCounter waits;
    device->SetWaitHookForTests(WaitCounter::Hook, &waits);
    auto read = std::async(std::launch::async, [&] {
        uint8_t buf[5] = {};
        const int32_t n = PlugRead(device, buf, 5, PLUG_INFINITE);
        return std::make_pair(n, std::vector<uint8_t>(buf, buf + 5));
    });
    waits.WaitFor(1);
    Deliver(InputReport(2, 3, 1));
    waits.WaitFor(2);
    Deliver(InputReport(2, 4, 11));
    const auto [n, bytes] = read.get();
    EXPECT_EQ(n, 5);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3, 11, 12}));
    EXPECT_EQ(waits.Timeouts(), (std::vector<uint32_t>{PLUG_INFINITE, PLUG_INFINITE}));
}

TEST_F(HidDeviceTest, EmptyReportStoresNothingButWakesAReader) {
    Deliver(InputReport(2, 0));
    EXPECT_EQ(device->RingCount(), 0u);
    EXPECT_EQ(device->DataEvent().Wait(0), qds::plat::WaitResult::Signaled);

    WaitCounter waits;
    device->SetWaitHookForTests(WaitCounter::Hook, &waits);
    auto read = std::async(std::launch::async, [&] {
        uint8_t buf[2] = {};
        return PlugRead(device, buf, 2, 60000);
    });
    waits.WaitFor(1);
    Deliver(InputReport(2, 0));
    waits.WaitFor(2);  // woken with nothing, it waits again rather than returning
    Deliver(InputReport(2, 2));
    EXPECT_EQ(read.get(), 2);
    // ... for what is left of its time-out, not for the whole time-out again.
    const std::vector<uint32_t> timeouts = waits.Timeouts();
    ASSERT_EQ(timeouts.size(), 2u);
    EXPECT_EQ(timeouts[0], 60000u);
    EXPECT_LE(timeouts[1], 60000u);
    EXPECT_GT(timeouts[1], 0u);
}

// A device that sends empty reports without pause never stretches a read beyond its
// time-out: each wait runs against the read's deadline.
TEST_F(HidDeviceTest, ChattyEmptyReportsDoNotStretchATimedRead) {
    std::atomic<bool> stop{false};
    std::thread chatter([&] {
        while (!stop.load()) {
            script->PushReport(InputReport(2, 0));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    uint8_t buf[4];
    const auto start = std::chrono::steady_clock::now();
    const int32_t got = PlugRead(device, buf, 4, 200);
    const auto took = std::chrono::steady_clock::now() - start;
    stop.store(true);
    chatter.join();
    EXPECT_EQ(got, 0);
    EXPECT_LT(took, std::chrono::seconds(2));  // measured: about 200 ms
}

// A clear while input keeps flowing ends within its limit.
TEST_F(HidDeviceTest, ClearEndsWhileInputKeepsComing) {
    std::atomic<bool> stop{false};
    std::thread stream([&] {
        while (!stop.load()) {
            script->PushReport(InputReport(2, 8));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(PlugClear(device), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    stop.store(true);
    stream.join();
    EXPECT_LT(took, std::chrono::seconds(2));  // kClearLimitMs, 250 ms
    EXPECT_EQ(PlugGetStatus(device), PLUG_STATUS_OPEN);
}

struct EndCase {
    const char* name;
    Report report;
    uint32_t count;
    bool failure;
};

TEST(HidDeviceEnd, ReaderEndsAndClosesForGood) {
    const EndCase cases[] = {
        {"report id 3", InputReport(3, 4), 64, false},
        {"report id 0", InputReport(0, 4), 64, false},
        {"length 57", InputReport(2, 57), 64, false},
        {"length 255", InputReport(2, 255), 64, false},
        {"short read", InputReport(2, 4), 63, false},
        {"read error", Report{}, 0, true},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto script = std::make_shared<Script>();
        HidPosDevice* device = OpenScripted(script);
        ASSERT_NE(device, nullptr);
        script->PushReport(InputReport(2, 5));
        script->WaitReadsHandled(1);
        if (c.failure)
            script->PushReadFailure();
        else
            script->PushReport(c.report, c.count);
        script->WaitClosed();

        EXPECT_EQ(PlugGetStatus(device), PLUG_STATUS_CLOSED);
        // The 5 bytes stored before the end are handed out first, then the read says closed.
        uint8_t buf[8];
        EXPECT_EQ(PlugRead(device, buf, 3, 0), 3);
        EXPECT_EQ(PlugRead(device, buf + 3, 8, PLUG_INFINITE), 2);
        EXPECT_EQ(device->RingCount(), 0u);
        EXPECT_EQ(PlugRead(device, buf, 8, 0), PLUG_E_CLOSED);
        EXPECT_EQ(PlugRead(device, buf, 8, PLUG_INFINITE), PLUG_E_CLOSED);
        EXPECT_EQ(PlugWrite(device, buf, 1), PLUG_E_CLOSED);
        EXPECT_EQ(PlugClear(device), PLUG_E_CLOSED);
        EXPECT_TRUE(script->Written().empty());
        EXPECT_EQ(PlugClose(device), 0);
        EXPECT_EQ(script->Closes(), 1);
    }
}

TEST_F(HidDeviceTest, DeviceClosingDuringAReadGivesWhatCameBefore) {
    Deliver(InputReport(2, 3));
    WaitCounter waits;
    device->SetWaitHookForTests(WaitCounter::Hook, &waits);
    auto read = std::async(std::launch::async, [&] {
        uint8_t buf[8];
        return PlugRead(device, buf, 8, PLUG_INFINITE);
    });
    waits.WaitFor(1);
    script->PushReadFailure();
    EXPECT_EQ(read.get(), 3);
}

TEST_F(HidDeviceTest, CloseWhileAReadWaitsEndsTheRead) {
    WaitCounter waits;
    device->SetWaitHookForTests(WaitCounter::Hook, &waits);
    auto read = std::async(std::launch::async, [&] {
        uint8_t buf[8];
        return PlugRead(device, buf, 8, PLUG_INFINITE);
    });
    waits.WaitFor(1);
    EXPECT_EQ(PlugClose(device), 0);
    device = nullptr;
    EXPECT_EQ(read.get(), PLUG_E_CLOSED);
    EXPECT_EQ(script->StopRequests(), 1);
    EXPECT_EQ(script->Closes(), 1);
}

TEST_F(HidDeviceTest, TwoWaitingReadsBothWakeWhenTheDeviceCloses) {
    WaitCounter waits;
    device->SetWaitHookForTests(WaitCounter::Hook, &waits);
    auto reader = [&] {
        uint8_t buf[8];
        return PlugRead(device, buf, 8, PLUG_INFINITE);
    };
    auto r1 = std::async(std::launch::async, reader);
    auto r2 = std::async(std::launch::async, reader);
    waits.WaitFor(2);
    script->PushReadFailure();
    EXPECT_EQ(r1.get(), PLUG_E_CLOSED);
    EXPECT_EQ(r2.get(), PLUG_E_CLOSED);
}

TEST_F(HidDeviceTest, StopReaderFromTwoThreadsStopsOnce) {
    std::promise<void> go;
    std::shared_future<void> start = go.get_future().share();
    auto stop = [&] {
        start.wait();
        device->StopReader();
    };
    std::thread a(stop), b(stop);
    go.set_value();
    a.join();
    b.join();
    EXPECT_EQ(script->StopRequests(), 1);
    EXPECT_EQ(script->Closes(), 1);
    EXPECT_EQ(PlugGetStatus(device), PLUG_STATUS_CLOSED);
    device->StopReader();  // nothing left to stop
    EXPECT_EQ(script->StopRequests(), 1);
}

TEST_F(HidDeviceTest, ClearDrainsTheRing) {
    Deliver(InputReport(2, 56));
    Deliver(InputReport(2, 56));
    Deliver(InputReport(2, 7));
    ASSERT_EQ(device->RingCount(), 119u);
    EXPECT_EQ(PlugClear(device), 0);
    EXPECT_EQ(device->RingCount(), 0u);
    EXPECT_EQ(PlugGetStatus(device), PLUG_STATUS_OPEN);
    EXPECT_EQ(PlugClear(nullptr), PLUG_E_ARGUMENT);
}

struct LayoutCase {
    uint32_t length;
    std::vector<uint32_t> chunks;
};

TEST_F(HidDeviceTest, WritesAreCutIntoOutputReports) {
    const LayoutCase cases[] = {
        {1, {1}}, {56, {56}}, {57, {56, 1}}, {112, {56, 56}}, {169, {56, 56, 56, 1}},
    };
    size_t seen = 0;
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.length);
        std::vector<uint8_t> data(c.length);
        for (uint32_t i = 0; i < c.length; ++i) data[i] = static_cast<uint8_t>(0x80 + i);
        ASSERT_EQ(PlugWrite(device, data.data(), c.length), static_cast<int32_t>(c.length));
        const std::vector<Report> written = script->Written();
        ASSERT_EQ(written.size(), seen + c.chunks.size());
        uint32_t offset = 0;
        for (size_t k = 0; k < c.chunks.size(); ++k) {
            const Report& r = written[seen + k];
            const uint32_t chunk = c.chunks[k];
            EXPECT_EQ(r[0], 4);
            EXPECT_EQ(r[1], chunk);
            EXPECT_TRUE(
                std::equal(data.begin() + offset, data.begin() + offset + chunk, r.begin() + 2));
            EXPECT_TRUE(std::all_of(r.begin() + 2 + chunk, r.begin() + 63,
                                    [](uint8_t b) { return b == 0; }));
            EXPECT_EQ(r[63], k + 1 < c.chunks.size() ? 1 : 0);
            offset += chunk;
        }
        seen = written.size();
    }
    for (uint32_t t : script->WriteTimeouts()) EXPECT_EQ(t, 1000u);
    EXPECT_EQ(PlugGetStatus(device), PLUG_STATUS_OPEN);
}

TEST_F(HidDeviceTest, BadWriteArguments) {
    const uint8_t byte = 1;
    EXPECT_EQ(PlugWrite(device, &byte, 0), PLUG_E_ARGUMENT);
    EXPECT_EQ(PlugWrite(device, nullptr, 1), PLUG_E_ARGUMENT);
    EXPECT_EQ(PlugWrite(nullptr, &byte, 1), PLUG_E_ARGUMENT);
    EXPECT_EQ(PlugWrite(device, &byte, 0x80000000u), PLUG_E_ARGUMENT);
    EXPECT_TRUE(script->Written().empty());
}

struct WriteFailCase {
    const char* name;
    HidIo io;
    uint32_t count;
};

TEST(HidDeviceWrite, AFailedReportShutsTheDeviceDown) {
    const WriteFailCase cases[] = {
        {"never completes", HidIo::TimedOut, 0},
        {"error", HidIo::Failed, 0},
        {"short count", HidIo::Done, 63},
    };
    for (const WriteFailCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto script = std::make_shared<Script>();
        HidPosDevice* device = OpenScripted(script);
        ASSERT_NE(device, nullptr);
        script->PushWrite(HidIo::Done, 64);  // the first report of 112 bytes goes out
        script->PushWrite(c.io, c.count);
        std::vector<uint8_t> data(112, 0x55);
        EXPECT_EQ(PlugWrite(device, data.data(), 112), PLUG_E_TRANSFER);
        EXPECT_EQ(script->Written().size(), 2u);
        EXPECT_EQ(script->StopRequests(), 1);
        EXPECT_EQ(script->Closes(), 1);
        EXPECT_EQ(PlugGetStatus(device), PLUG_STATUS_CLOSED);
        EXPECT_EQ(PlugWrite(device, data.data(), 1), PLUG_E_CLOSED);
        EXPECT_EQ(script->Written().size(), 2u);
        EXPECT_EQ(PlugClose(device), 0);
    }
}

TEST_F(HidDeviceTest, RingAtItsExactLimit) {
    constexpr uint32_t kSize = qds::hid::kRingSize;
    // Move the positions near the end first, so the full ring wraps.
    std::vector<uint8_t> junk(kSize - 100, 0xEE), out(kSize);
    device->RingPut(junk.data(), static_cast<uint32_t>(junk.size()));
    ASSERT_EQ(device->RingGet(out.data(), kSize), kSize - 100);

    std::vector<uint8_t> bulk(kSize - 10);
    for (size_t i = 0; i < bulk.size(); ++i) bulk[i] = static_cast<uint8_t>(i * 7);
    device->RingPut(bulk.data(), static_cast<uint32_t>(bulk.size()));
    const std::vector<uint8_t> eleven(11, 0xAB), ten(10, 0xCD);
    device->RingPut(eleven.data(), 11);  // does not fit: dropped whole
    EXPECT_EQ(device->RingCount(), kSize - 10);
    device->RingPut(ten.data(), 10);  // fits exactly
    EXPECT_EQ(device->RingCount(), kSize);
    device->RingPut(ten.data(), 1);
    EXPECT_EQ(device->RingCount(), kSize);

    ASSERT_EQ(device->RingGet(out.data(), kSize), kSize);
    EXPECT_TRUE(std::equal(bulk.begin(), bulk.end(), out.begin()));
    EXPECT_TRUE(std::equal(ten.begin(), ten.end(), out.begin() + bulk.size()));
    EXPECT_EQ(device->RingCount(), 0u);
    EXPECT_EQ(device->RingGet(out.data(), 1), 0u);
}

TEST_F(HidDeviceTest, AFullRingDropsReportsAndTheReaderGoesOn) {
    std::vector<uint8_t> fill(qds::hid::kRingSize - 10, 1);
    device->RingPut(fill.data(), static_cast<uint32_t>(fill.size()));
    Deliver(InputReport(2, 11));
    EXPECT_EQ(device->RingCount(), qds::hid::kRingSize - 10);
    Deliver(InputReport(2, 10));
    EXPECT_EQ(device->RingCount(), qds::hid::kRingSize);
    EXPECT_EQ(PlugGetStatus(device), PLUG_STATUS_OPEN);
}

}  // namespace
