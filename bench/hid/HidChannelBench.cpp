// HID channel figures against a stand-in scanner (Linux): how long tvx_close and tvx_clear take
// while the device keeps sending (empty reports, or a stream of full ones), and how long a
// write with a 100 ms time-out takes to answer when the device has stopped taking reports.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/hid_standin.h"
#include "platform/process.h"
#include "tavrix/Api.h"

namespace fs = std::filesystem;
using qds::plat::CHidStandIn;

namespace {

// A fixture folder with one scanner node, listed through a fixture sysfs tree.
class Fixture {
  public:
    explicit Fixture(uint32_t inBuffer = 0) {
        m_root = fs::temp_directory_path() /
                 ("hid_channel_bench_" + std::to_string(qds::plat::CurrentProcessId()));
        fs::remove_all(m_root);
        const fs::path dev = m_root / "sys/class/hidraw/hidraw0/device";
        fs::create_directories(dev);
        fs::create_directories(m_root / "dev");
        std::ofstream(dev / "uevent") << "HID_ID=0003:00006A2F:00000A10\n";
        setenv("VANTREL_SYSFS_ROOT", (m_root / "sys").c_str(), 1);
        setenv("VANTREL_DEV_DIR", (m_root / "dev").c_str(), 1);
        m_scanner = CHidStandIn::Create((m_root / "dev/hidraw0").string(), inBuffer);
    }
    ~Fixture() {
        m_scanner.reset();
        fs::remove_all(m_root);
    }
    CHidStandIn* Scanner() { return m_scanner.get(); }
    TVX_HANDLE Open() {
        return qds::tvx::OpenTransport(
            qds::tvx::MakeHidTransportFrom(VANTREL_LIBRARY_FILE, L"id=0", false));
    }

  private:
    fs::path m_root;
    std::unique_ptr<CHidStandIn> m_scanner;
};

// Sends a report with `payload` bytes every `everyMs` until destroyed.
class Sender {
  public:
    Sender(CHidStandIn& s, uint8_t payload, int everyMs)
        : m_thread([this, &s, payload, everyMs] {
              uint8_t report[64] = {2, payload};
              while (!m_stop.load()) {
                  s.SendReport(report, 64);
                  std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
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

void KX_STDCALL Sink(const uint8_t*, int32_t, void*) {}

// Arguments: payload bytes per report, milliseconds between reports.
void BM_CloseWhileTheDeviceSends(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        state.PauseTiming();
        TVX_HANDLE h = f.Open();
        if (h == nullptr || !f.Scanner()->Accept(10000)) {
            state.SkipWithError("no stand-in");
            break;
        }
        qds::tvx::RegisterNotify(h, 0, &Sink, nullptr);
        auto sender = std::make_unique<Sender>(*f.Scanner(), static_cast<uint8_t>(state.range(0)),
                                               static_cast<int>(state.range(1)));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        state.ResumeTiming();
        qds::tvx::Close(h);
        state.PauseTiming();
        sender.reset();
        f.Scanner()->Unplug();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CloseWhileTheDeviceSends)
    ->Args({0, 50})
    ->Args({0, 2})
    ->Args({56, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

void BM_ClearWhileAStreamFlows(benchmark::State& state) {
    Fixture f;
    TVX_HANDLE h = f.Open();
    if (h == nullptr || !f.Scanner()->Accept(10000)) {
        state.SkipWithError("no stand-in");
        return;
    }
    qds::tvx::RegisterNotify(h, 0, &Sink, nullptr);
    {
        Sender stream(*f.Scanner(), 56, 1);
        for (auto _ : state) qds::tvx::Clear(h);
    }
    qds::tvx::Close(h);
}
BENCHMARK(BM_ClearWhileAStreamFlows)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_WriteToAStalledDevice(benchmark::State& state) {
    Fixture f(1024);  // nobody reads the stand-in: its buffer fills, then writes stall
    TVX_HANDLE h = f.Open();
    if (h == nullptr || !f.Scanner()->Accept(10000)) {
        state.SkipWithError("no stand-in");
        return;
    }
    const std::vector<uint8_t> data(56, 0x33);
    // Fill the device until a write no longer goes through; the timed writes come after it,
    // while the stalled one still holds the writer thread.
    for (int i = 0; i < 100000 && qds::tvx::Write(h, data.data(), 56, 100) == 56; ++i) {
    }
    int failed = 0;
    for (auto _ : state) {
        if (qds::tvx::Write(h, data.data(), 56, 100) < 0) ++failed;
    }
    state.counters["failed"] = failed;
    qds::tvx::Close(h);
}
BENCHMARK(BM_WriteToAStalledDevice)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
