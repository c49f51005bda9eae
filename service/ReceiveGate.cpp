#include "service/ReceiveGate.h"

#include <algorithm>
#include <deque>
#include <vector>

namespace qds::OPOS::receive_gate {

namespace {

// Never destroyed: a late callback during process exit may still take the lock and look
// the object up after every static destructor has run.
struct Gate {
    plat::CCriticalSection cs;
    std::vector<const CScannerCtrl*> admitted;  // under cs
    std::deque<DeferredChunk> deferred;         // under cs
};

Gate& TheGate() {
    static Gate* s_gate = new Gate;
    return *s_gate;
}

thread_local bool t_onReceivePath = false;

}  // namespace

plat::CCriticalSection& Lock() {
    return TheGate().cs;
}

void Admit(const CScannerCtrl* ctrl) {
    Gate& g = TheGate();
    plat::CLock lock(g.cs);
    g.admitted.push_back(ctrl);
}

void Retire(const CScannerCtrl* ctrl) {
    Gate& g = TheGate();
    plat::CLock lock(g.cs);
    g.admitted.erase(std::remove(g.admitted.begin(), g.admitted.end(), ctrl), g.admitted.end());
}

bool Admitted(const CScannerCtrl* ctrl) {
    const Gate& g = TheGate();
    return std::find(g.admitted.begin(), g.admitted.end(), ctrl) != g.admitted.end();
}

bool OnReceivePath() {
    return t_onReceivePath;
}

CReceivePathMark::CReceivePathMark() : m_outer(!t_onReceivePath) {
    t_onReceivePath = true;
}

CReceivePathMark::~CReceivePathMark() {
    if (m_outer) t_onReceivePath = false;
}

void Defer(const uint8_t* data, int32_t length) {
    DeferredChunk c;
    c.length = length;
    c.nullData = data == nullptr;
    if (data != nullptr && length > 0)
        c.bytes.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    TheGate().deferred.push_back(std::move(c));
}

bool TakeDeferred(DeferredChunk& out) {
    Gate& g = TheGate();
    if (g.deferred.empty()) return false;
    out = std::move(g.deferred.front());
    g.deferred.pop_front();
    return true;
}

}  // namespace qds::OPOS::receive_gate
