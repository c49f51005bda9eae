// STUB: replaced by symbology decoding.
#include "service/ScannerCtrl.h"
namespace qds::OPOS {
int32_t CScannerCtrl::DecodeDataToDataType(const std::string&) { return 0; }
void CScannerCtrl::ApplyLabelRules(const std::string&) {}
}  // namespace qds::OPOS
