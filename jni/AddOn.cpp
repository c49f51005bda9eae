// STUB: replaced by the add-on output hook.
#include "service/ScannerCtrl.h"
namespace qds::OPOS {
void CScannerCtrl::LoadAddOn(const char*, const char*, int32_t, int32_t, int32_t, int32_t,
                             int32_t) {}
bool CScannerCtrl::AddOnPulse(uint32_t) { return false; }
bool CScannerCtrl::AddOnSet(uint32_t) { return false; }
uint32_t CScannerCtrl::ChannelWord() const { return 0; }
}  // namespace qds::OPOS
