// STUB: replaced by claim, release and close.
#include "service/ScannerCtrl.h"
namespace qds::OPOS {
int32_t CScannerCtrl::Close() { return 0; }
int32_t CScannerCtrl::ClaimDevice() { return 0; }
int32_t CScannerCtrl::Release() { return 0; }
int32_t CScannerCtrl::ClearInput() { return 0; }
}  // namespace qds::OPOS
