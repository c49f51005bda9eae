// Code identifier tables: which UnifiedPOS scan data type a code identifier names, one
// table per device family.
#pragma once

#include <cstdint>

namespace qds::OPOS {

enum class CodeIdFamily {
    Type1,   // device type 1 and any type other than 2, 3 and 4: Code ID prefix letter
    Type24,  // device types 2 and 4: Code ID prefix letter
    Type3,   // device type 3: the code identifier byte of the packet
};

// The family whose table decodes scans of a device type (a DevType, or any other number).
CodeIdFamily FamilyOfDevType(int32_t devType);

// The scan data type for a code identifier; 0 for one the family does not list.
int32_t ScanDataTypeOf(CodeIdFamily family, uint8_t codeId);

}  // namespace qds::OPOS
