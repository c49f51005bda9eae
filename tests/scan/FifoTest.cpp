// The scan FIFO and the pulled data events: order, DataCount, the keep flag, FreezeEvents,
// the string pool, the limit with a sink and emptying during a delivery.
#include <algorithm>
#include <atomic>
#include <thread>

#include "jni/JNIEvents.h"
#include "tests/support/CoreFixture.h"
#include "tests/support/TraceCapture.h"

using namespace qds::OPOS;

namespace {

class FifoTest : public core_test::CoreTest {
  protected:
    static std::string ScanData(CScannerCtrl& c) {
        std::string s;
        c.GetPropertyString(PIDXScan_ScanData, s);
        return s;
    }
    static size_t QueueSize(CScannerCtrl& c) {
        qds::plat::CLock lock(c.m_csData);
        return c.m_FifoData.size();
    }
    static size_t PoolSize(CScannerCtrl& c) {
        qds::plat::CLock lock(c.m_csData);
        return c.m_StringPool.size();
    }
};

TEST_F(FifoTest, DeliversOneScanPerSetterCallInOrder) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID);
    for (const char* s : {"c111", "c222", "c333"}) ctrl->PushFifoData(s);
    EXPECT_EQ(3, ctrl->GetDataCount());
    for (const char* expected : {"111", "222", "333"}) {
        ctrl->SetDataEventEnabled(1);
        EXPECT_EQ(expected, ScanData(*ctrl));
        EXPECT_EQ(0, ctrl->GetPropertyNumber(PIDX_DataEventEnabled));
    }
    EXPECT_EQ(0, ctrl->GetDataCount());
    ctrl->SetDataEventEnabled(1);  // nothing left: the last scan stays
    EXPECT_EQ("333", ScanData(*ctrl));
}

struct DeliveryCase {
    const char* name;
    bool keep;
    int32_t freeze;
    int32_t dataEventEnabledAfter;  // after the first SetDataEventEnabled(1)
    int32_t countAfter;
    const char* scanDataAfter;
};

TEST_F(FifoTest, KeepFlagAndFreezeEventsDecideWhatTheSetterDelivers) {
    const DeliveryCase cases[] = {
        {"plain", false, 0, 0, 1, "first"},
        {"keep flag", true, 0, 1, 1, "first"},
        {"frozen", false, 1, 1, 2, ""},
        {"frozen with keep flag", true, 1, 1, 2, ""},
    };
    for (const DeliveryCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto ctrl = Opened(DEV_TYPE2, COMM_HID, c.keep);
        ctrl->SetFreezeEvents(c.freeze);
        ctrl->PushFifoData("xfirst");
        ctrl->PushFifoData("xsecond");
        ctrl->SetDataEventEnabled(1);
        EXPECT_EQ(c.dataEventEnabledAfter, ctrl->GetPropertyNumber(PIDX_DataEventEnabled));
        EXPECT_EQ(c.countAfter, ctrl->GetDataCount());
        EXPECT_EQ(c.scanDataAfter, ScanData(*ctrl));
    }
}

TEST_F(FifoTest, KeptDataEventEnabledStillWaitsForTheNextSetterCall) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID, true);
    ctrl->PushFifoData("xfirst");
    ctrl->SetDataEventEnabled(1);
    ctrl->PushFifoData("xsecond");  // arrives while DataEventEnabled is 1
    EXPECT_EQ(1, ctrl->GetDataCount());
    EXPECT_EQ("first", ScanData(*ctrl));
    ctrl->SetDataEventEnabled(1);
    EXPECT_EQ("second", ScanData(*ctrl));
    EXPECT_EQ(0, ctrl->GetDataCount());
}

TEST_F(FifoTest, UnfreezingDeliversOneScanOnlyWhileDataEventEnabled) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID);
    ctrl->SetFreezeEvents(1);
    ctrl->PushFifoData("xa");
    ctrl->PushFifoData("xb");
    ctrl->SetFreezeEvents(0);  // DataEventEnabled 0: nothing
    EXPECT_EQ(2, ctrl->GetDataCount());
    ctrl->SetFreezeEvents(1);
    ctrl->SetDataEventEnabled(1);
    EXPECT_EQ(2, ctrl->GetDataCount());
    ctrl->SetFreezeEvents(0);
    EXPECT_EQ(1, ctrl->GetDataCount());
    EXPECT_EQ("a", ScanData(*ctrl));
}

TEST_F(FifoTest, DeliveryInProgressMakesDataEventEnabledTakeNothing) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID);
    ctrl->PushFifoData("xa");
    ctrl->SetFiringEvent(1);  // as while another thread delivers
    ctrl->SetDataEventEnabled(1);
    EXPECT_EQ(1, ctrl->GetDataCount());
    // FreezeEvents does not look at the flag.
    ctrl->SetFreezeEvents(0);
    EXPECT_EQ(0, ctrl->GetDataCount());
    EXPECT_EQ("a", ScanData(*ctrl));
}

TEST_F(FifoTest, DeliveryWritesItsMessagesInOrder) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID);
    ctrl->PushFifoData("c12345");
    testing_support::TraceCapture trace;
    ctrl->SetDataEventEnabled(1);
    std::vector<std::string> own;
    for (const std::string& m : trace.Messages())
        if (m.find("qds::OPOS::") == std::string::npos) own.push_back(m);
    const std::vector<std::string> expected = {
        "PopFifoData: GetDataEventEnabled:1 GetFreezeEvents:0 GetDataCount:1",
        "FiringEvent: True",
        "UnDecodeType,DataLen:6",
        "m_pJniEvents is NULL",
        "begin to decrease datacount:1",
        "FiringEvent: false",
    };
    EXPECT_EQ(expected, own);
}

TEST_F(FifoTest, EmptyFifoDeliversNothingAndLogsOneLine) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID);
    testing_support::TraceCapture trace;
    ctrl->SetDataEventEnabled(1);
    std::vector<std::string> own;
    for (const std::string& m : trace.Messages())
        if (m.find("qds::OPOS::") == std::string::npos) own.push_back(m);
    const std::vector<std::string> expected = {
        "PopFifoData: GetDataEventEnabled:1 GetFreezeEvents:0 GetDataCount:0"};
    EXPECT_EQ(expected, own);
}

TEST_F(FifoTest, SetFiringEventNeedsAnOpenedService) {
    CScannerCtrl ctrl;
    ctrl.SetFiringEvent(1);
    EXPECT_EQ(OPOS_E_CLOSED, ctrl.m_ResultCode.load());
    EXPECT_EQ(0, ctrl.m_FiringEvent);
    ASSERT_EQ(0, ctrl.Open(2, COMM_HID, 0, false));
    ctrl.m_ResultCode = 55;
    ctrl.SetFiringEvent(1);
    EXPECT_EQ(0, ctrl.m_ResultCode.load());
    EXPECT_EQ(1, ctrl.m_FiringEvent);
    // A flag left raised by a delivery cut short by Close is still lowered.
    ctrl.m_bOpened = 0;
    ctrl.SetFiringEvent(0);
    EXPECT_EQ(0, ctrl.m_FiringEvent);
}

TEST_F(FifoTest, EmptyFifoKeepsTheDeliveredScan) {
    auto ctrl = Opened(DEV_TYPE3, COMM_HID);
    ctrl->m_DecodeData = 1;
    ctrl->PushFifoData(std::string("\x01\x07") + "0123456789012");
    ctrl->PushFifoData(std::string("\x01\x07") + "999");
    ctrl->SetDataEventEnabled(1);
    ctrl->EmptyFifo();
    EXPECT_EQ(0, ctrl->GetDataCount());
    EXPECT_EQ(0u, QueueSize(*ctrl));
    EXPECT_EQ("0123456789012", ScanData(*ctrl));
    EXPECT_EQ(101, ctrl->GetPropertyNumber(PIDXScan_ScanDataType));
    ctrl->SetDataEventEnabled(1);
    EXPECT_EQ("0123456789012", ScanData(*ctrl));
}

TEST_F(FifoTest, PoolNeverHoldsMoreThan32) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID);
    for (int i = 0; i < 40; ++i) ctrl->PushFifoData("c" + std::to_string(i) + std::string(40, 'x'));
    for (int i = 0; i < 40; ++i) {
        ctrl->SetDataEventEnabled(1);
        EXPECT_LE(PoolSize(*ctrl), 32u);
    }
    EXPECT_EQ(32u, PoolSize(*ctrl));
    EXPECT_EQ(0, ctrl->GetDataCount());
    // Queueing takes from the pool again.
    ctrl->PushFifoData("cnext");
    EXPECT_EQ(31u, PoolSize(*ctrl));
}

TEST_F(FifoTest, WithoutASinkTheQueueHoldsMoreThanTheSinksLimit) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID);
    const int kScans = 2100;
    for (int i = 0; i < kScans; ++i) ctrl->PushFifoData("c" + std::to_string(i));
    EXPECT_EQ(kScans, ctrl->GetDataCount());
    EXPECT_EQ(static_cast<size_t>(kScans), QueueSize(*ctrl));
    ctrl->SetDataEventEnabled(1);
    EXPECT_EQ("0", ScanData(*ctrl));
}

// Without a sink the FIFO is bounded too: a device that keeps sending while nobody pulls
// would otherwise grow it until memory runs out. Scans beyond the bound are dropped, counted,
// and logged once per run of drops at level 2.
TEST_F(FifoTest, WithoutASinkTheQueueStopsAtItsBoundAndCountsTheDrops) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID);
    const int32_t limit = CScannerCtrl::kFifoLimit;
    testing_support::TraceCapture trace;
    for (int32_t i = 0; i < limit + 10; ++i) ctrl->PushFifoData("c" + std::to_string(i));
    EXPECT_EQ(limit, ctrl->GetDataCount());
    EXPECT_EQ(static_cast<size_t>(limit), QueueSize(*ctrl));
    EXPECT_EQ(10, ctrl->m_ScansDroppedFull.load());
    // One delivery makes room for one scan; the next drop starts a new run and is logged.
    ctrl->SetDataEventEnabled(1);
    EXPECT_EQ("0", ScanData(*ctrl));
    ctrl->PushFifoData("cfits");
    ctrl->PushFifoData("cdropped");
    EXPECT_EQ(limit, ctrl->GetDataCount());
    EXPECT_EQ(11, ctrl->m_ScansDroppedFull.load());
    std::vector<std::string> full;
    for (const std::string& l : trace.Lines())
        if (l.find("[Error]  ") != std::string::npos &&
            l.find("PushFifoData: FIFO full at " + std::to_string(limit) +
                   " scans, dropping new scans") != std::string::npos)
            full.push_back(l);
    EXPECT_EQ(2u, full.size());
    // The queue still ends in the scan that fitted.
    qds::plat::CLock lock(ctrl->m_csData);
    EXPECT_EQ("cfits", ctrl->m_FifoData.back());
}

TEST_F(FifoTest, WithASinkTheQueueStopsAt2048) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID);
    ctrl->m_pJniEvents = new JNIEvents(nullptr, nullptr, nullptr);  // owned by ctrl
    for (int i = 0; i < 2048; ++i) ctrl->PushFifoData("c" + std::to_string(i));
    testing_support::TraceCapture trace;
    ctrl->PushFifoData("cdropped");
    EXPECT_EQ(2048, ctrl->GetDataCount());
    EXPECT_EQ(2048u, QueueSize(*ctrl));
    EXPECT_TRUE(trace.Contains("  qds::OPOS::JNIEvents::ErrorEvent [Enter] {"));
}

TEST_F(FifoTest, NotOpenedDataCountReadsZero) {
    CScannerCtrl ctrl;
    ctrl.PushFifoData("c1");
    EXPECT_EQ(0, ctrl.GetDataCount());
    EXPECT_EQ(0, ctrl.GetPropertyNumber(PIDX_DataCount));
    ASSERT_EQ(0, ctrl.Open(2, COMM_HID, 0, false));
    EXPECT_EQ(1, ctrl.GetDataCount());
}

// Emptying the FIFO while another thread delivers: the clear waits for the delivery, so
// DataCount never falls below the queued scans and never goes negative.
TEST_F(FifoTest, EmptyingDuringADeliveryWaitsForIt) {
    testing_support::TraceCapture trace;  // lengthens the delivery between pop and count
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        auto ctrl = Opened(DEV_TYPE2, COMM_HID);
        ctrl->PushFifoData("cfirst");
        ctrl->PushFifoData("csecond");
        std::atomic<bool> cleared{false};
        std::thread deliverer([&] { ctrl->SetDataEventEnabled(1); });
        std::thread clearer([&] {
            // Clear once the delivery has taken its scan out of the queue.
            while (QueueSize(*ctrl) != 1) std::this_thread::yield();
            ctrl->EmptyFifo();
            cleared = true;
        });
        deliverer.join();
        clearer.join();
        ASSERT_TRUE(cleared);
        EXPECT_EQ(0, ctrl->GetDataCount());
        EXPECT_EQ(0u, QueueSize(*ctrl));
        EXPECT_EQ("first", ScanData(*ctrl));
        trace.Clear();
    }
}

}  // namespace

namespace {

TEST(FifoAllocator, FreedBlocksAreReusedBySize) {
    using qds::OPOS::fifo_detail::PutBlock;
    using qds::OPOS::fifo_detail::TakeBlock;
    void* a = ::operator new(1000);
    PutBlock(a, 1000);
    EXPECT_EQ(nullptr, TakeBlock(1001));  // another size is not handed out
    EXPECT_EQ(a, TakeBlock(1000));
    EXPECT_EQ(nullptr, TakeBlock(1000));  // each block once
    ::operator delete(a);
}

TEST(FifoAllocator, AFullCacheKeepsTheLatestBlocks) {
    using qds::OPOS::fifo_detail::PutBlock;
    using qds::OPOS::fifo_detail::TakeBlock;
    std::vector<void*> put;
    for (int i = 0; i < 20; ++i) {
        put.push_back(::operator new(777));
        PutBlock(put.back(), 777);
    }
    std::vector<void*> taken;
    while (void* p = TakeBlock(777)) taken.push_back(p);
    EXPECT_GE(taken.size(), 1u);
    EXPECT_LT(taken.size(), put.size());  // the rest were freed by the cache
    EXPECT_NE(std::find(taken.begin(), taken.end(), put.back()), taken.end());
    for (void* p : taken) ::operator delete(p);
}

}  // namespace
