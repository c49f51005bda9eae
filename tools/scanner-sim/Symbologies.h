// The symbologies a simulated scanner can send, with the code identifier each device family
// puts in front of (types 1, 2, 4) or into (type 3) a label.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

struct Symbology {
    const char* name;  // as typed in a "scan" command
    int scanDataType;  // what the service reports for it
    int type3Id;       // code identifier byte of device type 3, -1 when none
    char letter24;     // Code ID letter of device types 2 and 4, 0 when none
    char letter1;      // Code ID letter of device type 1, 0 when none
};

// Null when the name is unknown (case-insensitive).
const Symbology* FindSymbology(const std::string& name);
// Every entry, ending with one whose name is null.
const Symbology* AllSymbologies();

}  // namespace sim
