// Service core benchmarks: queueing and delivering one scan in steady state, and decoding
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // malloc-backed counting new
// one scan. Heap allocations are counted by this program's own operator new.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/sync.h"
#include "service/ScannerCtrl.h"
#include "trace/TraceLog.h"

namespace {
std::atomic<uint64_t> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using qds::OPOS::CScannerCtrl;

// 13-digit EAN label behind the device's code identifier (device type 2) or inside a
// version 2 record (device type 3, longer than the short-string buffer).
const std::string kType2Scan = "d4006381333931";
const std::string kType3Scan =
    std::string{qds::OPOS::RECORD_V2, '\x05', '\0', '\0', '\0', '\0'} + "4006381333931";

void PushDeliver(benchmark::State& state, int32_t devType, const std::string& scan) {
    qds::CTraceLog::Instance().ConfigureForTests(qds::level::off, "");
    CScannerCtrl ctrl;
    ctrl.Open(devType, qds::OPOS::COMM_HID, 0, false);
    ctrl.m_DecodeData = 1;
    for (int i = 0; i < 64; ++i) {  // warm the pool, the queue and the text buffers
        ctrl.PushFifoData(scan);
        ctrl.SetDataEventEnabled(1);
    }
    const uint64_t before = g_allocations.load();
    for (auto _ : state) {
        ctrl.PushFifoData(scan);
        ctrl.SetDataEventEnabled(1);
    }
    const uint64_t allocations = g_allocations.load() - before;
    state.counters["allocs_per_scan"] =
        benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
    if (ctrl.GetDataCount() != 0) state.SkipWithError("scans left in the FIFO");
}

void BM_PushDeliver_Type2_EAN13(benchmark::State& state) {
    PushDeliver(state, qds::OPOS::DEV_TYPE2, kType2Scan);
}
void BM_PushDeliver_Type3_EAN13(benchmark::State& state) {
    PushDeliver(state, qds::OPOS::DEV_TYPE3, kType3Scan);
}

void DecodeAndLabel(benchmark::State& state, int32_t devType, const std::string& scan) {
    qds::CTraceLog::Instance().ConfigureForTests(qds::level::off, "");
    CScannerCtrl ctrl;
    ctrl.Open(devType, qds::OPOS::COMM_HID, 0, false);
    ctrl.m_DecodeData = 1;
    for (auto _ : state) {
        const int32_t type = ctrl.DecodeDataToDataType(scan);
        qds::plat::CLock lock(ctrl.m_csData);
        ctrl.m_ScanDataType = type;
        ctrl.m_ScanData.clear();
        ctrl.m_ScanDataLabel.clear();
        ctrl.ApplyLabelRules(scan);
        benchmark::DoNotOptimize(ctrl.m_ScanDataLabel.data());
    }
}

void BM_DecodeAndLabel_Type2(benchmark::State& state) {
    DecodeAndLabel(state, qds::OPOS::DEV_TYPE2, kType2Scan);
}
void BM_DecodeAndLabel_Type3(benchmark::State& state) {
    DecodeAndLabel(state, qds::OPOS::DEV_TYPE3, kType3Scan);
}

}  // namespace

BENCHMARK(BM_PushDeliver_Type2_EAN13);
BENCHMARK(BM_PushDeliver_Type3_EAN13);
BENCHMARK(BM_DecodeAndLabel_Type2);
BENCHMARK(BM_DecodeAndLabel_Type3);
BENCHMARK_MAIN();
