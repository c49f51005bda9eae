// Shared setup of the receive and lifecycle tests: a controllable tick for the gap test,
// a counting stand-in for SendCommand's pause, and helpers that build device type 3 packets.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sync.h"
#include "service/Commands.h"
#include "service/ScannerCtrl.h"
#include "tests/support/FakeTavrix.h"

namespace receive_test {

using qds::OPOS::RECORD_V1;
using qds::OPOS::RECORD_V2;

inline std::atomic<uint32_t> g_tick{100000};
inline uint32_t TestTick() {
    return g_tick.load();
}

// SendCommand's pauses cost nothing; the acknowledgement looks are counted.
inline std::atomic<int> g_ackLooks{0};
inline void CountingSleep(uint32_t ms) {
    if (ms == qds::OPOS::kAckStepMs) ++g_ackLooks;
}

inline std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s.push_back(static_cast<char>(v));
    return s;
}

// 04 FF, length, code identifier, 3 bytes not kept, label.
inline std::string PacketV1(uint8_t codeId, const std::string& label) {
    std::string p = Bytes({0x04, 0xFF, static_cast<int>(label.size() >> 8),
                           static_cast<int>(label.size() & 0xFF), codeId, 0xAA, 0xBB, 0xCC});
    return p + label;
}
// The scan record a version 1 packet becomes.
inline std::string RecordV1(uint8_t codeId, const std::string& label) {
    return Bytes({RECORD_V1, codeId}) + label;
}
// 04 FE, length, payload.
inline std::string PacketV2(const std::string& payload) {
    return Bytes({0x04, 0xFE, static_cast<int>(payload.size() >> 8),
                  static_cast<int>(payload.size() & 0xFF)}) +
           payload;
}
inline std::string RecordV2(const std::string& payload) {
    return Bytes({RECORD_V2}) + payload;
}

class ReceiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::FakeTavrix::Get().Reset();
        qds::OPOS::ResetReceiveState();
        qds::OPOS::SetReceiveTickSource(&TestTick);
        qds::OPOS::SetCommandSleep(&CountingSleep);
        g_ackLooks = 0;
    }
    void TearDown() override {
        fake::FakeTavrix::Get().WaitIdle();
        fake::FakeTavrix::Get().Reset();
        qds::OPOS::SetCommandSleep(nullptr);
        qds::OPOS::SetReceiveTickSource(nullptr);
        qds::OPOS::ResetReceiveState();
    }

    static void Advance(uint32_t ms) { g_tick += ms; }

    // The scans waiting in the FIFO, oldest first.
    static std::vector<std::string> Queued(qds::OPOS::CScannerCtrl& ctrl) {
        qds::plat::CLock lock(ctrl.m_csData);
        return {ctrl.m_FifoData.begin(), ctrl.m_FifoData.end()};
    }

    static void Feed(qds::OPOS::CScannerCtrl& ctrl, const std::string& chunk) {
        ctrl.ReceiveDataFromTAVRIX(reinterpret_cast<const uint8_t*>(chunk.data()),
                                   static_cast<int32_t>(chunk.size()));
    }
};

}  // namespace receive_test
