// A test add-on library: records every call of its output function so that the tests can
// read the calls back through its other exports.
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/export.h"

namespace {
struct Record {
    uint32_t word, channel, level;
};
std::mutex g_mu;
std::vector<Record> g_calls;
}  // namespace

extern "C" {

KX_EXPORT int32_t KX_STDCALL TestAddOnOutput(uint32_t channelWord, uint32_t channel,
                                             uint32_t level) {
    std::lock_guard<std::mutex> lock(g_mu);
    g_calls.push_back({channelWord, channel, level});
    return 1;
}

KX_EXPORT void KX_CDECL TestAddOnReset() {
    std::lock_guard<std::mutex> lock(g_mu);
    g_calls.clear();
}

KX_EXPORT int32_t KX_CDECL TestAddOnCallCount() {
    std::lock_guard<std::mutex> lock(g_mu);
    return static_cast<int32_t>(g_calls.size());
}

// Copies call i into the three outputs; false when there is no such call.
KX_EXPORT int32_t KX_CDECL TestAddOnGetCall(int32_t i, uint32_t* word, uint32_t* channel,
                                            uint32_t* level) {
    std::lock_guard<std::mutex> lock(g_mu);
    if (i < 0 || static_cast<size_t>(i) >= g_calls.size()) return 0;
    *word = g_calls[i].word;
    *channel = g_calls[i].channel;
    *level = g_calls[i].level;
    return 1;
}

}  // extern "C"
