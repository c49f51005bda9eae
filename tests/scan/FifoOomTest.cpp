// The scan FIFO when memory runs out: nothing thrown reaches the framework's thread, and a
// delivery that fails half way does not stop data events for good.
//
// This program replaces the global allocation functions so that a test can make chosen
// allocations of the calling thread fail.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "tests/support/CoreFixture.h"

namespace {
// Allocations of exactly this many bytes on an armed thread fail (0: none).
thread_local size_t t_failSize = 0;
thread_local int t_failures = 0;
}  // namespace

void* operator new(size_t n) {
    if (t_failSize != 0 && n == t_failSize) {
        ++t_failures;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(n != 0 ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    return std::malloc(n != 0 ? n : 1);
}
void* operator new[](size_t n) {
    return operator new(n);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
    return std::malloc(n != 0 ? n : 1);
}

// The replacements pair malloc with free; the compiler cannot see that they belong together.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

using namespace qds::OPOS;

namespace {

class FifoOomTest : public core_test::CoreTest {
  protected:
    void TearDown() override {
        t_failSize = 0;
        CoreTest::TearDown();
    }
};

// Queueing a scan that cannot be stored drops it and counts it; nothing is thrown.
TEST_F(FifoOomTest, QueueingWithoutMemoryDropsTheScan) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID);
    const std::string scan = "c" + std::string(3000, '7');
    t_failSize = scan.size() + 1;  // the string that would hold the queued copy
    t_failures = 0;
    EXPECT_NO_THROW(ctrl->PushFifoData(scan));
    t_failSize = 0;
    EXPECT_LT(0, t_failures);
    EXPECT_EQ(0, ctrl->GetDataCount());
    EXPECT_EQ(1, ctrl->m_ScansDroppedFull.load());
    ctrl->PushFifoData(scan);
    EXPECT_EQ(1, ctrl->GetDataCount());
}

// A delivery that throws (here: ScanData cannot be filled) still lowers the firing flag and
// DataCount, so the next SetDataEventEnabled delivers the next scan.
TEST_F(FifoOomTest, AFailedDeliveryDoesNotStopDataEvents) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID);
    const std::string big = "c" + std::string(3000, '8');
    ctrl->PushFifoData(big);
    ctrl->PushFifoData("cnext");
    t_failSize = big.size();  // ScanData: the scan without its first byte, plus its NUL
    t_failures = 0;
    EXPECT_THROW(ctrl->SetDataEventEnabled(1), std::bad_alloc);
    t_failSize = 0;
    EXPECT_EQ(1, t_failures);
    {
        qds::plat::CLock lock(ctrl->m_csData);
        EXPECT_EQ(0, ctrl->m_FiringEvent);
    }
    EXPECT_EQ(1, ctrl->GetDataCount());
    ctrl->SetDataEventEnabled(1);
    std::string data;
    ctrl->GetPropertyString(PIDXScan_ScanData, data);
    EXPECT_EQ("next", data);
    EXPECT_EQ(0, ctrl->GetDataCount());
}

}  // namespace
