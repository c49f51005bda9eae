// STUB: replaced by the receive framing.
#include "service/ScannerCtrl.h"
namespace qds::OPOS {
void KX_STDCALL ReceiveNotify(const uint8_t*, int32_t, void*) {}
void SetReceiveTickSource(TickSource) {}
void ResetReceiveState() {}
void CScannerCtrl::ReceiveDataFromTAVRIX(const uint8_t*, int32_t) {}
}  // namespace qds::OPOS
