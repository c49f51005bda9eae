// Vantrel figures: the latency from a report reaching the reader thread to PlugRead returning
// its bytes (a caller that asks for 1 byte with a time-out and drains the rest with time-out
// 0), ring throughput, and the memory an open device costs.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

#include "hid_plugin/HidPosDevice.h"
#include "hid_plugin/PlugTable.h"

namespace {

using Clock = std::chrono::steady_clock;

// Hands the reader thread one report at a time and notes when the reader got it.
class TimedDevice final : public qds::hid::IHidReportDevice {
  public:
    bool IsOpen() const override { return m_bOpen.load(); }
    void Offer(uint8_t payload) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending = true;
        m_payload = payload;
        m_cv.notify_one();
    }
    Clock::time_point Reached() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reached;
    }
    qds::plat::HidIo ReadReport(uint8_t* report, uint32_t& count) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [&] { return m_stop || m_pending; });
        if (m_stop) return qds::plat::HidIo::Stopped;
        m_pending = false;
        m_reached = Clock::now();
        std::memset(report, 0, 64);
        report[0] = 2;
        report[1] = m_payload;
        count = 64;
        return qds::plat::HidIo::Done;
    }
    void RequestStop() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_cv.notify_one();
    }
    qds::plat::HidIo WriteReport(const uint8_t*, uint32_t& count, uint32_t) override {
        count = 64;
        return qds::plat::HidIo::Done;
    }
    void Close() override { m_bOpen.store(false); }

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_pending = false;
    bool m_stop = false;
    uint8_t m_payload = 0;
    Clock::time_point m_reached;
    std::atomic<bool> m_bOpen{true};
};

void BM_ReportToPlugRead(benchmark::State& state) {
    auto owned = std::make_unique<TimedDevice>();
    TimedDevice* dev = owned.get();
    void* h = qds::hid::HidPosDevice::Create(std::move(owned));
    if (h == nullptr) {
        state.SkipWithError("open failed");
        return;
    }
    const uint8_t payload = static_cast<uint8_t>(state.range(0));
    uint8_t buf[64];
    for (auto _ : state) {
        dev->Offer(payload);
        int32_t n = PlugRead(h, buf, 1, 1000);
        if (n == 1 && payload > 1) n += PlugRead(h, buf + 1, 63, 0);
        const Clock::time_point done = Clock::now();
        if (n != payload) {
            state.SkipWithError("short read");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(done - dev->Reached()).count());
    }
    PlugClose(h);
}
BENCHMARK(BM_ReportToPlugRead)->Arg(1)->Arg(56)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Payloads of one report each go in and come out again, in batches that fill a quarter ring.
void BM_RingThroughput(benchmark::State& state) {
    auto dev = std::make_unique<TimedDevice>();
    auto* h = qds::hid::HidPosDevice::Create(std::move(dev));
    const uint32_t chunk = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> in(chunk, 0x5A), out(65536);
    const uint32_t batch = (qds::hid::kRingSize / 4) / chunk;
    for (auto _ : state) {
        for (uint32_t i = 0; i < batch; ++i) h->RingPut(in.data(), chunk);
        while (h->RingGet(out.data(), static_cast<uint32_t>(out.size())) > 0) {
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * batch * chunk);
    qds::hid::HidPosDevice::Destroy(h);
}
BENCHMARK(BM_RingThroughput)->Arg(56)->Arg(4096)->UseRealTime();

long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
}

// Resident memory per open device, with one report received by each.
void BM_MemoryPerOpenDevice(benchmark::State& state) {
    constexpr int kDevices = 8;
    long perDevice = 0;
    for (auto _ : state) {
        const long before = ResidentBytes();
        std::vector<void*> handles;
        std::vector<TimedDevice*> devs;
        for (int i = 0; i < kDevices; ++i) {
            auto d = std::make_unique<TimedDevice>();
            devs.push_back(d.get());
            handles.push_back(qds::hid::HidPosDevice::Create(std::move(d)));
        }
        uint8_t buf[64];
        for (int i = 0; i < kDevices; ++i) {
            devs[i]->Offer(56);
            PlugRead(handles[i], buf, 56, 1000);
        }
        perDevice = (ResidentBytes() - before) / kDevices;
        for (void* h : handles) PlugClose(h);
    }
    state.counters["object_bytes"] = static_cast<double>(sizeof(qds::hid::HidPosDevice));
    state.counters["resident_bytes_per_device"] = static_cast<double>(perDevice);
}
BENCHMARK(BM_MemoryPerOpenDevice)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
