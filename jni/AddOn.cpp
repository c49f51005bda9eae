// The add-on output hook: a function in a library that the application names, called to
// set or pulse an output of a device type 1 scanner.
//
// m_csAddOn guards the record only while it is read or replaced; the function is called
// with a copy, outside the lock, so a pulse never blocks LoadAddOn for its whole pause.
// Modules are never freed while the object lives, so a copied function stays callable.
#include "platform/dynlib.h"
#include "platform/time.h"
#include "service/ScannerCtrl.h"

namespace qds::OPOS {

namespace {
constexpr uint32_t kLowByte = 0xFFu;
constexpr uint32_t kLevelOff = 0;

AddOnOutput CopyRecord(plat::CCriticalSection& cs, const AddOnOutput& record) {
    plat::CLock lock(cs);
    return record;
}

bool Active(const AddOnOutput& r) {
    return r.hModule != nullptr && r.pfnOutput != nullptr;
}
}  // namespace

void CScannerCtrl::LoadAddOn(const char* libFile, const char* funcName, int32_t channel,
                             int32_t activeValue, int32_t pulseOnScan, int32_t pulseMs,
                             int32_t suffix) {
    m_bSuffix = suffix != 0 ? 1 : 0;
    if (libFile == nullptr || funcName == nullptr) return;

    // An earlier module stays loaded: a pulse on another thread may still be using it.
    const plat::LibHandle module = plat::LoadLib(libFile);
    PFN_ADDON_OUTPUT fn = nullptr;
    if (module != nullptr)
        fn = reinterpret_cast<PFN_ADDON_OUTPUT>(plat::GetSymbol(module, funcName));

    plat::CLock lock(m_csAddOn);
    m_AddOn.hModule = module;
    if (module == nullptr) return;
    m_AddOn.pfnOutput = fn;
    m_AddOn.Channel = channel;
    m_AddOn.ActiveValue = activeValue;
    m_AddOn.PulseOnScan = pulseOnScan;
    m_AddOn.PulseMs = pulseMs > 0 ? pulseMs : kDefaultPulseMs;
}

bool CScannerCtrl::AddOnPulse(uint32_t word) {
    const AddOnOutput r = CopyRecord(m_csAddOn, m_AddOn);
    if (!Active(r)) return false;
    const uint32_t channel = static_cast<uint32_t>(r.Channel) & kLowByte;
    r.pfnOutput(word, channel, static_cast<uint32_t>(r.ActiveValue) & kLowByte);
    plat::SleepMs(static_cast<uint32_t>(r.PulseMs));
    r.pfnOutput(word, channel, kLevelOff);
    return true;
}

bool CScannerCtrl::AddOnSet(uint32_t word) {
    const AddOnOutput r = CopyRecord(m_csAddOn, m_AddOn);
    if (!Active(r)) return false;
    r.pfnOutput(word, static_cast<uint32_t>(r.Channel) & kLowByte,
                static_cast<uint32_t>(r.ActiveValue) & kLowByte);
    return true;
}

uint32_t CScannerCtrl::ChannelWord() const {
    uint32_t word = 0;
    TryChannelWord(word);
    return word;
}

bool CScannerCtrl::TryChannelWord(uint32_t& word) const {
    word = 0;
    // Held while the handle is followed: the channel cannot be swapped out and closed between.
    plat::CLock lock(m_csTvx);
    const TVX_HANDLE h = m_hTvx;
    if (h == nullptr) return false;
    // The framework's promise: the handle's first word points to the channel word.
    const uint32_t* p = *static_cast<const uint32_t* const*>(h);
    if (p != nullptr) word = *p;
    return true;
}

}  // namespace qds::OPOS
