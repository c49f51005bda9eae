// The add-on output hook's record: a function in a library that the application names,
// called to set or pulse an output of a device type 1 scanner.
#pragma once

#include <cstdint>

#include "platform/dynlib.h"
#include "platform/export.h"

namespace qds::OPOS {

// stdcall on 32-bit Windows: the callee removes its three 32-bit arguments.
typedef int32_t(KX_STDCALL* PFN_ADDON_OUTPUT)(uint32_t channelWord, uint32_t channel,
                                              uint32_t level);

struct AddOnOutput {
    plat::LibHandle hModule = nullptr;
    int32_t Channel = 0;
    int32_t ActiveValue = 0;
    PFN_ADDON_OUTPUT pfnOutput = nullptr;
    int32_t PulseOnScan = 0;
    int32_t PulseMs = 50;
};

constexpr int32_t kDefaultPulseMs = 50;

}  // namespace qds::OPOS
