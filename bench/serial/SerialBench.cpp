// Serial lines as the simulated scanner paces them (tools/scanner-sim, in process):
// - the silences inside a label behind a USB-serial adapter (9600 baud, 16 ms latency timer),
//   against which the default frame gap is chosen;
// - the framework's latency from the label's last byte written to the channel's callback,
//   beyond the frame gap, and how many chunks each label became.
// A plain program (the line's own timing is the subject, not a loop to repeat).
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Simulator.h"
#include "platform/serial.h"
#include "tavrix/Api.h"
#include "tavrix/Transport.h"

namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// "OK <count> t=<ns>": when the simulator made its last write.
int64_t WrittenAt(const std::string& answer) {
    const size_t at = answer.find("t=");
    return at == std::string::npos ? 0 : std::stoll(answer.substr(at + 2));
}

std::unique_ptr<sim::CSimulator> StartSim(int type, sim::LineTiming timing) {
    sim::SimOptions o;
    o.devType = type;
    o.mode = sim::Mode::Pty;
    o.timing = timing;
    o.events = stderr;
    auto s = std::make_unique<sim::CSimulator>(o);
    if (!s->Start()) return nullptr;
    return s;
}

void Report(const char* what, std::vector<double> v, const char* unit) {
    if (v.empty()) {
        std::printf("%s: no samples\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("%s: n=%zu p50=%.2f p99=%.2f max=%.2f %s\n", what, v.size(), v[v.size() / 2],
                v[v.size() * 99 / 100], v.back(), unit);
}

// The silences between the reads of one 120-character label behind the adapter.
void Silences(int labels) {
    auto s = StartSim(1, {9600, 16});
    qds::plat::CSerialPort port;
    if (!s || !port.Open(s->SlavePath().c_str(), 9600)) {
        std::printf("silences: no pseudo-terminals here\n");
        return;
    }
    const uint32_t gap = qds::tvx::DefaultFrameGapMs(9600);
    std::vector<double> ms;
    int above = 0;
    for (int i = 0; i < labels; ++i) {
        std::thread t([&] { s->Execute("scan code128 " + std::string(120, 'X')); });
        size_t got = 0;
        int64_t last = 0;
        while (got < 121) {
            uint8_t buf[512];
            const int32_t n = port.Read(buf, sizeof buf, 5000);
            if (n <= 0) break;
            const int64_t now = NowNs();
            if (last != 0) {
                ms.push_back((now - last) / 1e6);
                if (now - last > int64_t{gap} * 1000000) ++above;
            }
            last = now;
            got += static_cast<size_t>(n);
        }
        t.join();
    }
    Report("silences inside a label (9600 baud, adapter 16 ms)", ms, "ms");
    std::printf("    longer than the default gap of %u ms: %d of %zu\n", gap, above, ms.size());
}

struct Collector {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<int64_t, size_t>> chunks;  // arrival, size
    size_t bytes = 0;
    static void KX_STDCALL Notify(const uint8_t*, int32_t length, void* context) {
        auto* self = static_cast<Collector*>(context);
        const int64_t now = NowNs();
        std::lock_guard<std::mutex> lock(self->m);
        self->chunks.emplace_back(now, static_cast<size_t>(length));
        self->bytes += static_cast<size_t>(length);
        self->cv.notify_all();
    }
};

// Label written (its last byte) to the callback, through a channel with the given gap.
void Latency(const char* what, sim::LineTiming timing, uint32_t gapMs, int labels) {
    auto s = StartSim(1, timing);
    if (!s) {
        std::printf("%s: no pseudo-terminals here\n", what);
        return;
    }
    const uint32_t gap =
        gapMs == qds::tvx::kDefaultFrameGap ? qds::tvx::DefaultFrameGapMs(9600) : gapMs;
    Collector c;
    TVX_HANDLE h =
        qds::tvx::OpenTransport(qds::tvx::MakeSerialTransportAt(s->SlavePath(), 9600, gapMs));
    if (h == nullptr || qds::tvx::RegisterNotify(h, 0, &Collector::Notify, &c) != 0) {
        std::printf("%s: channel did not open\n", what);
        return;
    }
    std::vector<double> beyond;
    size_t cut = 0;
    for (int i = 0; i < labels + 10; ++i) {  // the first 10 warm up
        {
            std::lock_guard<std::mutex> lock(c.m);
            c.chunks.clear();
            c.bytes = 0;
        }
        const int64_t wrote = WrittenAt(s->Execute("scan ean13 4006381333931"));
        std::unique_lock<std::mutex> lock(c.m);
        c.cv.wait_for(lock, std::chrono::seconds(5), [&] { return c.bytes >= 14; });
        if (c.chunks.empty() || i < 10) continue;
        if (c.chunks.size() > 1) ++cut;
        beyond.push_back((c.chunks.back().first - wrote) / 1e3 - gap * 1e3);
    }
    qds::tvx::Close(h);
    char title[160];
    std::snprintf(title, sizeof title,
                  "%s, gap %u ms: last byte written -> callback, beyond the gap", what, gap);
    Report(title, beyond, "us");
    std::printf("    labels cut into several chunks: %zu of %d\n", cut, labels);
}

}  // namespace

int main() {
    Silences(150);
    Latency("9600 baud", {9600, 0}, qds::tvx::kDefaultFrameGap, 200);
    Latency("9600 baud behind an adapter", {9600, 16}, qds::tvx::kDefaultFrameGap, 200);
    Latency("unpaced, FrameGapMs 0", {0, 0}, 0, 500);
    return 0;
}
