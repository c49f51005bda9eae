// First calls of the process-wide objects from several threads at once. A process of its
// own: the first call can be made only once.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/sync.h"
#include "service/ScannerCtrl.h"
#include "trace/TraceLog.h"

namespace {

using qds::CTraceLog;
using qds::OPOS::CScannerCtrl;
using qds::OPOS::OPOS_PS_UNKNOWN;
using qds::OPOS::OPOS_S_CLOSED;

TEST(Instance, ConcurrentFirstCallsGetOneObject) {
    constexpr int kThreads = 8;
    std::vector<CScannerCtrl*> ctrls(kThreads, nullptr);
    std::vector<CTraceLog*> logs(kThreads, nullptr);
    qds::plat::CEvent go(true, false);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            go.Wait(qds::plat::kInfinite);
            // Half start with the log, half with the service object.
            if (i % 2 == 0) logs[static_cast<size_t>(i)] = &CTraceLog::Instance();
            ctrls[static_cast<size_t>(i)] = &CScannerCtrl::Instance();
            if (i % 2 != 0) logs[static_cast<size_t>(i)] = &CTraceLog::Instance();
        });
    }
    go.Set();
    for (auto& t : threads) t.join();
    for (int i = 1; i < kThreads; ++i) {
        EXPECT_EQ(ctrls[static_cast<size_t>(i)], ctrls[0]);
        EXPECT_EQ(logs[static_cast<size_t>(i)], logs[0]);
    }
    CScannerCtrl& c = *ctrls[0];
    EXPECT_EQ(c.m_State.load(), OPOS_S_CLOSED);
    EXPECT_EQ(c.m_bOpened.load(), 0);
    EXPECT_EQ(c.m_DeviceDescription, "Scanner");
    EXPECT_EQ(c.m_PowerState.load(), OPOS_PS_UNKNOWN);
    EXPECT_EQ(&CScannerCtrl::Instance(), &c);
}

}  // namespace
