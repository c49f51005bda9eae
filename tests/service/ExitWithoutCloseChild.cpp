// A program that claims a scanner through the process's one service object, keeps the
// framework's receive thread busy, and exits without Close: the exit handlers destroy the
// service object while that thread still calls back, as a framework that keeps its channels
// open at exit does. Run by ExitTest; under ASan any late touch of freed memory is reported
// and fails the run.
#include <cstdio>
#include <string>
#include <thread>

#include "platform/time.h"
#include "service/ScannerCtrl.h"
#include "tests/support/FakeTavrix.h"
#include "trace/TraceLog.h"

using namespace qds::OPOS;

int main(int argc, char** argv) {
    // The trace log is written as well: it is destroyed at exit too.
    if (argc > 1) qds::CTraceLog::Instance().ConfigureForTests(qds::level::debug, argv[1]);
    CScannerCtrl& ctrl = CScannerCtrl::Instance();
    if (ctrl.Open(DEV_TYPE1, COMM_HID, 0, false) != 0 || ctrl.ClaimDevice() != 0) return 2;
    ctrl.SetDeviceEnabled(1);
    TVX_NOTIFY callback = nullptr;
    void* context = nullptr;
    if (!fake::FakeTavrix::Get().Registered(callback, context)) return 3;
    // The framework's receive thread: never stopped, never joined.
    std::thread([callback, context] {
        const std::string label = "c4006381333931";
        for (;;)
            callback(reinterpret_cast<const uint8_t*>(label.data()),
                     static_cast<int32_t>(label.size()), context);
    }).detach();
    while (ctrl.GetDataCount() < 50) qds::plat::SleepMs(1);
    std::puts("exiting without Close");
    return 0;
}
