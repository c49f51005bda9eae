// A transport plug-in for the framework's tests: a device that the test feeds, unplugs and
// replugs through the FakePlug_ exports, recording what the framework asks of it.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/PlugDllFuns.h"

namespace {

struct State {
    std::mutex m;
    std::condition_variable cv;
    std::string ring;
    std::string written;
    bool present = true;
    int generation = 0;  // handles of an older generation are closed devices
    uintptr_t tableSize = sizeof(PlugDllFuns);
    std::wstring lastParams;
    bool lastParamsNull = false;
    int opens = 0, closes = 0, clears = 0;
    uint32_t writeStallMs = 0;  // each write takes this long, as one the OS holds
    bool flapping = false;      // every device opened is gone at once
    std::vector<std::pair<uint32_t, uint32_t>> reads;  // (length, time-out) of each read
};

State& S() {
    static State s;
    return s;
}

struct Dev {
    int generation;
};

int32_t KX_CDECL GetDesc(wchar_t*, uint32_t) {
    return 0;
}

void* KX_CDECL Open(const wchar_t* params) {
    State& s = S();
    std::lock_guard<std::mutex> lock(s.m);
    s.lastParamsNull = params == nullptr;
    s.lastParams = params ? params : L"";
    if (!s.present) return nullptr;
    ++s.opens;
    return new Dev{s.flapping ? s.generation - 1 : s.generation};
}

int32_t KX_CDECL Close(void* h) {
    if (h == nullptr) return 0;
    std::lock_guard<std::mutex> lock(S().m);
    ++S().closes;
    delete static_cast<Dev*>(h);
    return 0;
}

int32_t KX_CDECL Reserved() {
    return 0;
}

int32_t KX_CDECL Status(void* h) {
    return h ? 2 : -1;
}

int32_t KX_CDECL Read(void* h, uint8_t* buf, uint32_t len, uint32_t timeoutMs) {
    if (h == nullptr || buf == nullptr) return -1;
    State& s = S();
    std::unique_lock<std::mutex> lock(s.m);
    s.reads.emplace_back(len, timeoutMs);
    auto dead = [&] { return static_cast<Dev*>(h)->generation != s.generation; };
    if (timeoutMs > 0) {
        s.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return dead() || !s.ring.empty(); });
    }
    if (dead()) return -11;
    const size_t n = std::min<size_t>(len, s.ring.size());
    std::memcpy(buf, s.ring.data(), n);
    s.ring.erase(0, n);
    return static_cast<int32_t>(n);
}

int32_t KX_CDECL Write(void* h, const uint8_t* data, uint32_t len) {
    if (h == nullptr || data == nullptr || len == 0) return -1;
    uint32_t stall = 0;
    {
        std::lock_guard<std::mutex> lock(S().m);
        stall = S().writeStallMs;
    }
    if (stall > 0) std::this_thread::sleep_for(std::chrono::milliseconds(stall));
    std::lock_guard<std::mutex> lock(S().m);
    if (static_cast<Dev*>(h)->generation != S().generation) return -11;
    S().written.append(reinterpret_cast<const char*>(data), len);
    return static_cast<int32_t>(len);
}

int32_t KX_CDECL Clear(void* h) {
    if (h == nullptr) return -1;
    std::lock_guard<std::mutex> lock(S().m);
    ++S().clears;
    S().ring.clear();
    return 0;
}

}  // namespace

extern "C" {

KX_EXPORT int32_t KX_CDECL GetPlugDllFuns(PlugDllFuns* t) {
    if (t == nullptr) return -1;
    t->size = S().tableSize;
    t->PlugGetDesc = GetDesc;
    t->PlugOpen = Open;
    t->PlugClose = Close;
    t->PlugReserved4 = Reserved;
    t->PlugGetStatus = Status;
    t->PlugRead = Read;
    t->PlugWrite = Write;
    t->PlugClear = Clear;
    t->PlugReserved9 = t->PlugReserved10 = t->PlugReserved11 = t->PlugReserved12 = Reserved;
    return 0;
}

KX_EXPORT void KX_CDECL FakePlug_Reset() {
    State& s = S();
    std::lock_guard<std::mutex> lock(s.m);
    s.ring.clear();
    s.written.clear();
    s.present = true;
    ++s.generation;
    s.tableSize = sizeof(PlugDllFuns);
    s.lastParams.clear();
    s.lastParamsNull = false;
    s.opens = s.closes = s.clears = 0;
    s.writeStallMs = 0;
    s.flapping = false;
    s.reads.clear();
}

KX_EXPORT void KX_CDECL FakePlug_SetTableSize(uintptr_t size) {
    S().tableSize = size;
}

KX_EXPORT void KX_CDECL FakePlug_Push(const uint8_t* data, uint32_t len) {
    {
        std::lock_guard<std::mutex> lock(S().m);
        S().ring.append(reinterpret_cast<const char*>(data), len);
    }
    S().cv.notify_all();
}

// Unplugging closes every open device; replugging lets PlugOpen succeed again.
KX_EXPORT void KX_CDECL FakePlug_SetPresent(int present) {
    {
        std::lock_guard<std::mutex> lock(S().m);
        S().present = present != 0;
        if (!present) ++S().generation;
    }
    S().cv.notify_all();
}

KX_EXPORT void KX_CDECL FakePlug_SetWriteStallMs(uint32_t ms) {
    std::lock_guard<std::mutex> lock(S().m);
    S().writeStallMs = ms;
}

KX_EXPORT void KX_CDECL FakePlug_SetFlapping(int flapping) {
    std::lock_guard<std::mutex> lock(S().m);
    S().flapping = flapping != 0;
}

KX_EXPORT uint32_t KX_CDECL FakePlug_Written(char* out, uint32_t cap) {
    std::lock_guard<std::mutex> lock(S().m);
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(cap, S().written.size()));
    std::memcpy(out, S().written.data(), n);
    return n;
}

// -1 when the last PlugOpen got a null string, else its length (copied to out).
KX_EXPORT int32_t KX_CDECL FakePlug_LastParams(wchar_t* out, uint32_t cap) {
    std::lock_guard<std::mutex> lock(S().m);
    if (S().lastParamsNull) return -1;
    const size_t n = std::min<size_t>(cap, S().lastParams.size());
    std::wmemcpy(out, S().lastParams.data(), n);
    return static_cast<int32_t>(n);
}

KX_EXPORT int32_t KX_CDECL FakePlug_Count(const char* what) {
    std::lock_guard<std::mutex> lock(S().m);
    const std::string w = what;
    if (w == "open") return S().opens;
    if (w == "close") return S().closes;
    if (w == "clear") return S().clears;
    return -1;
}

// Copies up to cap (length, time-out) pairs of the reads so far; returns how many there were.
KX_EXPORT uint32_t KX_CDECL FakePlug_Reads(uint32_t* out, uint32_t cap) {
    std::lock_guard<std::mutex> lock(S().m);
    for (uint32_t i = 0; i < cap && i < S().reads.size(); ++i) {
        out[2 * i] = S().reads[i].first;
        out[2 * i + 1] = S().reads[i].second;
    }
    return static_cast<uint32_t>(S().reads.size());
}

}  // extern "C"
