// STUB: replaced by the scan FIFO.
#include "service/ScannerCtrl.h"
namespace qds::OPOS {
void CScannerCtrl::PushFifoData(const std::string&) {}
void CScannerCtrl::PopFifoData() {}
void CScannerCtrl::FireDataEvent(const std::string&) {}
void CScannerCtrl::SetFiringEvent(int32_t) {}
int32_t CScannerCtrl::GetDataCount() { return 0; }
void CScannerCtrl::EmptyFifo() {}
}  // namespace qds::OPOS
