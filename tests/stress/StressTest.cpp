// The receive path against Java-like threads, under load: a receive thread feeds labels that
// carry sequence numbers (every device type; device type 3 packets cut into chunks at random
// places) while other threads pull scans, toggle DataEventEnabled, FreezeEvents, DecodeData
// and AutoDisable, re-enable the device and call ClearInput. Afterwards every label delivered
// is whole, none is delivered twice, they come in order, and every label sent is accounted
// for: delivered, cleared, or dropped (FIFO full, or received while the device was disabled).
//
// KOLVEX_STRESS_SCANS sets the labels per device type (default small enough for the sanitizer
// suites); KOLVEX_STRESS_SEED replays a run (the seed is printed).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "service/Commands.h"
#include "service/ScannerCtrl.h"
#include "tests/support/FakeTavrix.h"

using namespace qds::OPOS;

namespace {

uint32_t FixedTick() {
    return 1000;  // no gap between chunks: reassembly is never cut short by time
}
void YieldSleep(uint32_t) {
    std::this_thread::yield();
}

std::string Label(uint32_t seq) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "S%08uE", seq);
    return buf;
}

// Device type 3 alternates packet versions; a version 2 payload keeps one byte in ScanData.
constexpr char kKept = 'K';
bool UsesV2(uint32_t seq) {
    return seq % 2 == 1;
}
std::string Packet(uint32_t seq) {
    const std::string label = Label(seq);
    std::string p;
    if (UsesV2(seq)) {
        const std::string payload = std::string("\x21", 1) + kKept + "xyz" + label;
        p = {0x04, static_cast<char>(0xFE), 0, static_cast<char>(payload.size())};
        p += payload;
    } else {
        p = {0x04, static_cast<char>(0xFF), 0, static_cast<char>(label.size()), 0x02, 1, 2, 3};
        p += label;
    }
    return p;
}

// What ScanData holds when the scan with this sequence number is delivered whole.
std::string Expected(int32_t devType, uint32_t seq) {
    return devType == DEV_TYPE3 && UsesV2(seq) ? kKept + Label(seq) : Label(seq);
}

uint32_t EnvNumber(const char* name, uint32_t fallback) {
    const std::string v = qds::plat::GetEnv(name);
    return v.empty() ? fallback : static_cast<uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
}

class StressTest : public ::testing::TestWithParam<int32_t> {
  protected:
    void SetUp() override {
        fake::FakeTavrix::Get().Reset();
        ResetReceiveState();
        SetReceiveTickSource(&FixedTick);
        SetCommandSleep(&YieldSleep);
    }
    void TearDown() override {
        fake::FakeTavrix::Get().SetWriteHook(nullptr);
        fake::FakeTavrix::Get().Reset();
        SetCommandSleep(nullptr);
        SetReceiveTickSource(nullptr);
        ResetReceiveState();
    }
};

TEST_P(StressTest, EveryLabelIsDeliveredWholeOnceInOrderOrAccountedFor) {
    const int32_t devType = GetParam();
    const uint32_t scans = EnvNumber("KOLVEX_STRESS_SCANS", 1500);
    const uint32_t seed =
        EnvNumber("KOLVEX_STRESS_SEED", static_cast<uint32_t>(std::random_device{}()));
    std::cout << "stress: device type " << devType << ", " << scans << " labels, seed " << seed
              << " (KOLVEX_STRESS_SEED)" << std::endl;

    CScannerCtrl ctrl;
    ASSERT_EQ(0, ctrl.Open(devType, COMM_HID, 0, false));
    // Claimed and enabled on a channel of the test double.
    ctrl.m_hTvx = tvx_open(L"HID", nullptr, 1);
    tvx_register_notify(ctrl.m_hTvx, 0, &ReceiveNotify, &ctrl);
    ctrl.m_Claimed = 1;
    ctrl.m_DeviceEnabled = 1;
    TVX_NOTIFY callback = nullptr;
    void* context = nullptr;
    ASSERT_TRUE(fake::FakeTavrix::Get().Registered(callback, context));

    // The scanner: sends its Code ID prefix while the last Code ID command said so. A command
    // takes effect while the commanding thread holds `device`, so no label is in flight
    // between the command and the service recording it.
    std::mutex device;
    bool prefixOn = true;            // under device
    std::atomic<int> commanded{-1};  // last Code ID command seen by the test double
    fake::FakeTavrix::Get().SetWriteHook([&](const std::string& bytes) {
        if (bytes == kCmdType1CodeIdOn || bytes == kCmdType24CodeIdOn) commanded = 1;
        if (bytes == kCmdType1CodeIdOff || bytes == kCmdType24CodeIdOff) commanded = 0;
    });

    std::atomic<bool> stop{false};
    std::mutex deliveries;               // every call that may deliver, with its read of ScanData
    std::vector<std::string> delivered;  // under deliveries
    auto deliverOne = [&](auto&& call) {
        std::lock_guard<std::mutex> lock(deliveries);
        const int64_t before = ctrl.m_ScansDelivered.load();
        call();
        const int64_t after = ctrl.m_ScansDelivered.load();
        ASSERT_LE(after - before, 1);  // one scan per setter call at most
        if (after == before) return;
        std::string data;
        ctrl.GetPropertyString(PIDXScan_ScanData, data);
        delivered.push_back(data);
    };

    // The receive thread starts once every Java-like thread runs, and gives them room between
    // chunks, so that their calls land between and during the chunks.
    std::atomic<int> running{0};
    constexpr int kJavaThreads = 6;
    std::thread receive([&] {
        std::mt19937 rng(seed);
        while (running.load() < kJavaThreads) std::this_thread::yield();
        auto pause = [&rng] {
            for (uint32_t i = rng() % 64; i > 0; --i) std::this_thread::yield();
        };
        if (devType == DEV_TYPE3) {
            std::string stream;
            for (uint32_t seq = 0; seq < scans; ++seq) stream += Packet(seq);
            size_t at = 0;
            while (at < stream.size()) {
                const size_t n = std::min<size_t>(stream.size() - at, 1 + rng() % 48);
                callback(reinterpret_cast<const uint8_t*>(stream.data() + at),
                         static_cast<int32_t>(n), context);
                at += n;
                pause();
            }
        } else {
            for (uint32_t seq = 0; seq < scans; ++seq) {
                {
                    std::lock_guard<std::mutex> lock(device);
                    const std::string chunk = (prefixOn ? "c" : "") + Label(seq);
                    callback(reinterpret_cast<const uint8_t*>(chunk.data()),
                             static_cast<int32_t>(chunk.size()), context);
                }
                pause();
            }
        }
    });

    std::vector<std::thread> java;
    java.emplace_back([&] {  // pulls
        ++running;
        while (!stop) deliverOne([&] { ctrl.SetDataEventEnabled(1); });
    });
    java.emplace_back([&] {  // DataEventEnabled off now and then
        ++running;
        while (!stop) {
            ctrl.SetDataEventEnabled(0);
            for (int i = 0; i < 50; ++i) std::this_thread::yield();
        }
    });
    java.emplace_back([&] {  // FreezeEvents on, then off (which may deliver)
        ++running;
        while (!stop) {
            ctrl.SetFreezeEvents(1);
            for (int i = 0; i < 10; ++i) std::this_thread::yield();
            deliverOne([&] { ctrl.SetFreezeEvents(0); });
            for (int i = 0; i < 300 && !stop; ++i) std::this_thread::yield();
        }
    });
    java.emplace_back([&] {  // DecodeData, and with it the Code ID prefix
        ++running;
        int32_t value = 0;
        while (!stop) {
            value = 1 - value;
            {
                std::lock_guard<std::mutex> lock(device);
                commanded = -1;
                ctrl.SetDecodeData(value);
                if (commanded.load() >= 0) prefixOn = commanded.load() == 1;
            }
            for (int i = 0; i < 100; ++i) std::this_thread::yield();
        }
    });
    java.emplace_back([&] {  // AutoDisable, and enabling the device again
        ++running;
        std::mt19937 rng(seed + 1);
        while (!stop) {
            ctrl.SetAutoDisable(rng() % 2);
            ctrl.SetDeviceEnabled(1);
            for (int i = 0; i < 30; ++i) std::this_thread::yield();
        }
    });
    java.emplace_back([&] {  // ClearInput now and then
        ++running;
        while (!stop) {
            for (int i = 0; i < 20000 && !stop; ++i) std::this_thread::yield();
            ctrl.ClearInput();
        }
    });

    ASSERT_EQ(kJavaThreads, static_cast<int>(java.size()));
    receive.join();
    stop = true;
    for (std::thread& t : java) t.join();
    // Whatever is still queued is delivered now.
    ctrl.SetFreezeEvents(0);
    while (ctrl.GetDataCount() > 0) deliverOne([&] { ctrl.SetDataEventEnabled(1); });

    int64_t previous = -1;
    for (const std::string& data : delivered) {
        const size_t s = data.find('S');
        ASSERT_NE(std::string::npos, s) << "torn: " << data;
        const uint32_t seq = static_cast<uint32_t>(std::strtoul(data.c_str() + s + 1, nullptr, 10));
        ASSERT_EQ(Expected(devType, seq), data) << "torn, seed " << seed;
        ASSERT_LT(previous, static_cast<int64_t>(seq)) << "twice or out of order, seed " << seed;
        previous = seq;
    }
    const int64_t cleared = ctrl.m_ScansCleared.load();
    const int64_t full = ctrl.m_ScansDroppedFull.load();
    const int64_t disabled = ctrl.m_ScansDroppedDisabled.load();
    std::cout << "stress: delivered " << delivered.size() << ", cleared " << cleared << ", dropped "
              << full << " (full) + " << disabled << " (disabled)" << std::endl;
    EXPECT_EQ(static_cast<int64_t>(scans),
              static_cast<int64_t>(delivered.size()) + cleared + full + disabled)
        << "seed " << seed;
    EXPECT_EQ(0, ctrl.GetDataCount());
    ctrl.Close();
}

INSTANTIATE_TEST_SUITE_P(AllDeviceTypes, StressTest,
                         ::testing::Values(DEV_TYPE1, DEV_TYPE2, DEV_TYPE3, DEV_TYPE4));

}  // namespace
