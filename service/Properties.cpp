// STUB: replaced by the property model.
#include "service/ScannerCtrl.h"
namespace qds::OPOS {
void CScannerCtrl::SetDataEventEnabled(int32_t) {}
void CScannerCtrl::SetDeviceEnabled(int32_t) {}
void CScannerCtrl::SetFreezeEvents(int32_t) {}
void CScannerCtrl::SetAutoDisable(int32_t) {}
void CScannerCtrl::SetBinaryConversion(int32_t) {}
void CScannerCtrl::SetDecodeData(int32_t) {}
int32_t CScannerCtrl::GetPropertyNumber(int32_t) { return 0; }
void CScannerCtrl::GetPropertyString(int32_t, std::string& out) { out.clear(); }
void CScannerCtrl::SetPropertyNumber(int32_t, int32_t) {}
}  // namespace qds::OPOS
