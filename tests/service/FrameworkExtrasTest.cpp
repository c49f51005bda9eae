// The event wait, connection state and failure reasons of the service object, against the
// framework test double with and without its extra exports (tvx_last_error,
// tvx_register_status) handed to the service as the run-time lookup would find them.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "platform/sync.h"
#include "service/FrameworkExtras.h"
#include "service/ScannerCtrl.h"
#include "tests/support/FakeTavrix.h"
#include "tests/support/TraceCapture.h"

using namespace qds::OPOS;

namespace {

constexpr uint32_t kBoundMs = 20000;  // generous bound for a wake that must come

class FrameworkExtrasTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::FakeTavrix::Get().Reset();
        Offer(true, true);
    }
    void TearDown() override {
        fake::FakeTavrix::Get().WaitIdle();
        fake::FakeTavrix::Get().Reset();
        SetFrameworkExtras(nullptr);
    }
    static void Offer(bool lastError, bool status) {
        FrameworkExtraFns fns;
        if (lastError) fns.lastError = &tvx_last_error;
        if (status) fns.registerStatus = &tvx_register_status;
        SetFrameworkExtras(&fns);
    }
    // Device type 2 over "HID": a claim needs no acknowledgement.
    static std::unique_ptr<CScannerCtrl> Opened() {
        auto ctrl = std::make_unique<CScannerCtrl>();
        EXPECT_EQ(OPOS_SUCCESS, ctrl->Open(DEV_TYPE2, COMM_HID, 0, false));
        return ctrl;
    }
};

// A thread that waits on the service's events without a limit.
struct Waiter {
    explicit Waiter(CScannerCtrl& c) : ctrl(c) { thread.Start(&Run, this); }
    static uint32_t Run(void* p) {
        auto* self = static_cast<Waiter*>(p);
        self->started.Set();
        self->bits = self->ctrl.m_Events.Wait(-1);
        self->done.Set();
        return 0;
    }
    CScannerCtrl& ctrl;
    std::atomic<int32_t> bits{-100};
    qds::plat::CEvent started{true, false};
    qds::plat::CEvent done{true, false};
    qds::plat::CThread thread;
};

TEST_F(FrameworkExtrasTest, WaitAnswersClosedAtOnceWhileNotOpen) {
    CScannerCtrl ctrl;
    EXPECT_EQ(EVENT_CLOSED, ctrl.m_Events.Wait(-1));
    EXPECT_EQ(CONN_UNKNOWN, ctrl.m_Events.State());
}

TEST_F(FrameworkExtrasTest, QueuedScanIsKeptUntilAWaitTakesIt) {
    auto ctrl = Opened();
    EXPECT_EQ(EVENT_NONE, ctrl->m_Events.Wait(0));
    EXPECT_EQ(EVENT_NONE, ctrl->m_Events.Wait(10));
    ctrl->PushFifoData("A");
    ctrl->PushFifoData("B");
    EXPECT_EQ(EVENT_DATA, ctrl->m_Events.Wait(0));
    EXPECT_EQ(EVENT_NONE, ctrl->m_Events.Wait(0));
    EXPECT_EQ(2, ctrl->GetDataCount());
    ctrl->Close();
}

TEST_F(FrameworkExtrasTest, ScanOnAnotherThreadWakesAWaiter) {
    auto ctrl = Opened();
    Waiter w(*ctrl);
    ASSERT_EQ(qds::plat::WaitResult::Signaled, w.started.Wait(kBoundMs));
    ctrl->PushFifoData("A");
    ASSERT_EQ(qds::plat::WaitResult::Signaled, w.done.Wait(kBoundMs));
    EXPECT_EQ(EVENT_DATA, w.bits.load());
    w.thread.Join();
    ctrl->Close();
}

TEST_F(FrameworkExtrasTest, CloseWakesAWaiterAndLaterWaitsAnswerAtOnce) {
    auto ctrl = Opened();
    ASSERT_EQ(OPOS_SUCCESS, ctrl->ClaimDevice());
    EXPECT_EQ(EVENT_STATUS, ctrl->m_Events.Wait(0));  // offline to online
    Waiter w(*ctrl);
    ASSERT_EQ(qds::plat::WaitResult::Signaled, w.started.Wait(kBoundMs));
    EXPECT_EQ(OPOS_SUCCESS, ctrl->Close());
    ASSERT_EQ(qds::plat::WaitResult::Signaled, w.done.Wait(kBoundMs));
    EXPECT_NE(0, w.bits.load() & EVENT_CLOSED);
    w.thread.Join();
    EXPECT_NE(0, ctrl->m_Events.Wait(-1) & EVENT_CLOSED);
    // A new Open forgets what was pending.
    ASSERT_EQ(OPOS_SUCCESS, ctrl->Open(DEV_TYPE2, COMM_HID, 0, false));
    EXPECT_EQ(EVENT_NONE, ctrl->m_Events.Wait(0));
    ctrl->Close();
}

TEST_F(FrameworkExtrasTest, LostAndBackAreTracedAndChangeTheState) {
    testing_support::TraceCapture trace(qds::level::err);
    auto ctrl = Opened();
    EXPECT_EQ(CONN_OFFLINE, ctrl->m_Events.State());
    ASSERT_EQ(OPOS_SUCCESS, ctrl->ClaimDevice());
    EXPECT_EQ(1u, fake::FakeTavrix::Get().CountOf("status"));
    EXPECT_EQ(CONN_ONLINE, ctrl->m_Events.State());
    EXPECT_EQ(EVENT_STATUS, ctrl->m_Events.Wait(0));

    fake::FakeTavrix& fw = fake::FakeTavrix::Get();
    fw.SendStatus(TVX_STATUS_LOST);
    EXPECT_EQ(EVENT_STATUS, ctrl->m_Events.Wait(static_cast<int32_t>(kBoundMs)));
    EXPECT_EQ(CONN_OFFLINE, ctrl->m_Events.State());
    EXPECT_EQ("device lost", ctrl->m_Events.Reason());
    fw.SendStatus(TVX_STATUS_BACK);
    EXPECT_EQ(EVENT_STATUS, ctrl->m_Events.Wait(static_cast<int32_t>(kBoundMs)));
    EXPECT_EQ(CONN_ONLINE, ctrl->m_Events.State());

    ctrl->Close();
    EXPECT_EQ(CONN_OFFLINE, ctrl->m_Events.State());
    // The channel is closed: a status now reaches nobody.
    fw.SendStatus(TVX_STATUS_LOST);
    fw.WaitIdle();
    const std::vector<std::string> lines = trace.Messages();
    EXPECT_EQ((std::vector<std::string>{"device lost", "device back"}), lines);
}

TEST_F(FrameworkExtrasTest, WithoutStatusTheStateStaysUnknown) {
    Offer(true, false);
    auto ctrl = Opened();
    EXPECT_EQ(CONN_UNKNOWN, ctrl->m_Events.State());
    ASSERT_EQ(OPOS_SUCCESS, ctrl->ClaimDevice());
    EXPECT_EQ(CONN_UNKNOWN, ctrl->m_Events.State());
    EXPECT_EQ(0u, fake::FakeTavrix::Get().CountOf("status"));
    EXPECT_EQ(EVENT_NONE, ctrl->m_Events.Wait(0));
    ctrl->Close();
    EXPECT_EQ(CONN_UNKNOWN, ctrl->m_Events.State());
}

struct ReasonCase {
    bool offersLastError;
    std::string frameworkReason;
    std::string reason;                   // what the service keeps
    std::vector<std::string> traceLines;  // at level 2
};

class FailedOpenTest : public FrameworkExtrasTest,
                       public ::testing::WithParamInterface<ReasonCase> {};

TEST_P(FailedOpenTest, ReasonIsKeptAndTracedAfterTheErrorLine) {
    const ReasonCase& c = GetParam();
    Offer(c.offersLastError, true);
    testing_support::TraceCapture trace(qds::level::err);
    fake::FakeTavrix::Get().SetOpenFails(true);
    fake::FakeTavrix::Get().SetOpenReason(c.frameworkReason);
    auto ctrl = std::make_unique<CScannerCtrl>();
    ASSERT_EQ(OPOS_SUCCESS, ctrl->Open(DEV_TYPE2, COMM_SERIAL, 41, false));
    EXPECT_EQ(OPOS_E_ILLEGAL, ctrl->ClaimDevice());
    EXPECT_EQ(c.reason, ctrl->m_Events.Reason());
    EXPECT_EQ(CONN_OFFLINE, ctrl->m_Events.State());
    EXPECT_EQ(c.traceLines, trace.Messages());
    ctrl->Close();
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, FailedOpenTest,
    ::testing::Values(
        ReasonCase{true,
                   "/dev/ttyS41: No such file or directory",
                   "/dev/ttyS41: No such file or directory",
                   {"tvx_open error!CommuTpye:1",
                    "tvx_open reason: /dev/ttyS41: No such file or directory"}},
        // The framework offers the export but gives no reason: the service's words.
        ReasonCase{true,
                   "",
                   "ClaimDevice failed: the framework could not open COM com=41;baud=9600",
                   {"tvx_open error!CommuTpye:1"}},
        // A framework with only the five functions of the contract.
        ReasonCase{false,
                   "ignored",
                   "ClaimDevice failed: the framework could not open COM com=41;baud=9600",
                   {"tvx_open error!CommuTpye:1"}}));

TEST_F(FrameworkExtrasTest, ServiceFailuresSayWhyAndSuccessesClearIt) {
    CScannerCtrl ctrl;
    struct Step {
        const char* what;
        std::function<int32_t()> op;
        int32_t result;
        std::string reason;
    };
    const std::vector<Step> steps = {
        {"claim while closed", [&] { return ctrl.ClaimDevice(); }, OPOS_E_CLOSED,
         "ClaimDevice failed: not opened"},
        {"release while closed", [&] { return ctrl.Release(); }, OPOS_E_CLOSED,
         "ReleaseDevice failed: not opened"},
        {"clear while closed", [&] { return ctrl.ClearInput(); }, OPOS_E_CLOSED,
         "ClearInput failed: not opened"},
        {"serial port 0", [&] { return ctrl.Open(DEV_TYPE2, COMM_SERIAL, 0, false); },
         OPOS_E_NOEXIST, "Open failed: serial port 0 does not exist"},
        {"open", [&] { return ctrl.Open(DEV_TYPE2, COMM_COM1, 0, false); }, OPOS_SUCCESS, ""},
        {"open twice", [&] { return ctrl.Open(DEV_TYPE2, COMM_HID, 0, false); }, OPOS_E_ILLEGAL,
         "Open failed: already open"},
        {"release unclaimed", [&] { return ctrl.Release(); }, OPOS_E_NOTCLAIMED,
         "ReleaseDevice failed: not claimed"},
        {"claim without transport", [&] { return ctrl.ClaimDevice(); }, OPOS_E_NOEXIST,
         "ClaimDevice failed: communication type 0 has no transport"},
        {"clear input", [&] { return ctrl.ClearInput(); }, OPOS_SUCCESS, ""},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(s.result, s.op()) << s.what;
        EXPECT_EQ(s.reason, ctrl.m_Events.Reason()) << s.what;
    }
    ctrl.Close();
}

}  // namespace
