// Receive path per scan, from the framework callback to the scan queued, at trace level 0:
// a chunk holding many device type 3 packets, and the same stream cut into 64-byte chunks
// as a HID transport delivers it; and the framing rules alone (NextFrame) over the same
// stream. Labels of 13 bytes (EAN-13).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "scan/Framing.h"
#include "service/ScannerCtrl.h"

using namespace qds::OPOS;

namespace {

constexpr int kPackets = 64;
const std::string kLabel = "4006381333931";

uint32_t FixedTick() {
    return 1000;
}

std::string PacketV1(const std::string& label) {
    std::string p = {
        0x04, static_cast<char>(0xFF), 0x00, static_cast<char>(label.size()), 0x05, 0x00, 0x00,
        0x00};
    return p + label;
}

std::string Stream() {
    std::string s;
    for (int i = 0; i < kPackets; ++i) s += PacketV1(kLabel);
    return s;
}

CScannerCtrl& Claimed() {
    static CScannerCtrl* ctrl = [] {
        auto* c = new CScannerCtrl();
        c->Open(DEV_TYPE3, COMM_HID, 0, false);
        c->m_Claimed = 1;  // no framework: only the receive path is measured
        SetReceiveTickSource(&FixedTick);
        return c;
    }();
    return *ctrl;
}

void Feed(CScannerCtrl& c, const std::string& bytes, size_t chunk) {
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        const size_t n = std::min(chunk, bytes.size() - at);
        ReceiveNotify(reinterpret_cast<const uint8_t*>(bytes.data() + at), static_cast<int32_t>(n),
                      &c);
    }
}

// The FIFO is emptied after every round (EmptyFifo included in the time), as the
// application would take the scans; otherwise it would grow without bound.
void Run(benchmark::State& state, size_t chunk) {
    CScannerCtrl& c = Claimed();
    ResetReceiveState();
    const std::string stream = Stream();
    for (auto _ : state) {
        Feed(c, stream, chunk);
        c.EmptyFifo();
    }
    state.SetItemsProcessed(state.iterations() * kPackets);
    state.counters["ns_per_scan"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kPackets),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ReceiveOneChunkManyPackets(benchmark::State& state) {
    Run(state, 1u << 20);
}
void BM_Receive64ByteChunks(benchmark::State& state) {
    Run(state, 64);
}

// The pure step only: every frame of the stream taken one after another, no service object.
void BM_NextFrameManyPackets(benchmark::State& state) {
    const std::string stream = Stream();
    const auto* b = reinterpret_cast<const uint8_t*>(stream.data());
    const int32_t n = static_cast<int32_t>(stream.size());
    for (auto _ : state) {
        int32_t start = 0;
        int32_t bodyBytes = 0;
        while (start < n) {
            const Frame f = NextFrame(b + start, n - start, DEV_TYPE3);
            if (f.used == 0) break;
            bodyBytes += f.bodyLen;
            start += f.used;
        }
        benchmark::DoNotOptimize(bodyBytes);
    }
    state.SetItemsProcessed(state.iterations() * kPackets);
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kPackets),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_ReceiveOneChunkManyPackets);
BENCHMARK(BM_Receive64ByteChunks);
BENCHMARK(BM_NextFrameManyPackets);
BENCHMARK_MAIN();
