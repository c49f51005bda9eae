// Shared setup of the service core tests: service objects opened (and, where a test needs
// it, claimed) against the framework test double without the lifecycle code.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "service/ScannerCtrl.h"
#include "tests/support/FakeTavrix.h"

namespace core_test {

// Device and communication types are DEV_TYPE* and COMM_* of service/ScannerTypes.h.

class CoreTest : public ::testing::Test {
  protected:
    void SetUp() override { fake::FakeTavrix::Get().Reset(); }
    void TearDown() override {
        fake::FakeTavrix::Get().WaitIdle();
        fake::FakeTavrix::Get().Reset();
    }

    // An opened object; serial port 1 so that communication type 1 opens too.
    std::unique_ptr<qds::OPOS::CScannerCtrl> Opened(int32_t devType, int32_t commuType,
                                                    bool keep = false) {
        auto ctrl = std::make_unique<qds::OPOS::CScannerCtrl>();
        EXPECT_EQ(0, ctrl->Open(devType, commuType, 1, keep));
        return ctrl;
    }

    // An opened object that holds a channel of the test double and counts as claimed.
    std::unique_ptr<qds::OPOS::CScannerCtrl> Claimed(int32_t devType, int32_t commuType,
                                                     bool keep = false) {
        auto ctrl = Opened(devType, commuType, keep);
        ctrl->m_hTvx = tvx_open(L"COM", nullptr, 1);
        ctrl->m_Claimed = 1;
        return ctrl;
    }

    static std::vector<std::string> Writes() { return fake::FakeTavrix::Get().Writes(); }
};

inline std::string Bytes(std::initializer_list<uint8_t> b) {
    return std::string(b.begin(), b.end());
}

}  // namespace core_test
