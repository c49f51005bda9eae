// STUB: replaced by the device command channel.
#include "service/ScannerCtrl.h"
namespace qds::OPOS {
int32_t CScannerCtrl::SendCommand(const void*, int32_t, int32_t) { return SEND_NOT_CLAIMED; }
void CScannerCtrl::EnableCodeIDPre() {}
void CScannerCtrl::DisableCodeIDPre() {}
void CScannerCtrl::EnableBarcodeSuf() {}
void CScannerCtrl::DisableBarcodeSuf() {}
}  // namespace qds::OPOS
