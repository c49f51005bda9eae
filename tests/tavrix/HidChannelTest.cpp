// "HID" channels against a test plug-in that the test drives.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "Receiver.h"
#include "framework/PlugDllFuns.h"
#include "platform/dynlib.h"
#include "platform/process.h"
#include "tavrix/Api.h"
#include "tavrix/LastError.h"

namespace {

using tvxtest::Receiver;
using tvxtest::StateLog;
using tvxtest::StatusLog;
using Clock = std::chrono::steady_clock;

std::string BesideTest(const char* name) {
    const std::string exe = qds::plat::ExecutablePath();
    const size_t cut = exe.find_last_of(qds::plat::PathSeparator());
    return exe.substr(0, cut + 1) + qds::plat::SharedLibPrefix() + name +
           qds::plat::SharedLibSuffix();
}

// The test plug-in's controls, reached in the same loaded copy the framework uses.
class FakePlug {
  public:
    FakePlug() : m_lib(qds::plat::LoadLib(BesideTest("tavrix_fake_plugin").c_str())) {}
    ~FakePlug() { qds::plat::FreeLib(m_lib); }
    bool Loaded() const { return m_lib != nullptr; }
    template <typename F>
    F Fn(const char* name) {
        return reinterpret_cast<F>(qds::plat::GetSymbol(m_lib, name));
    }
    void Reset() { Fn<void(KX_CDECL*)()>("FakePlug_Reset")(); }
    void SetTableSize(uintptr_t n) { Fn<void(KX_CDECL*)(uintptr_t)>("FakePlug_SetTableSize")(n); }
    void Push(const std::string& s) {
        Fn<void(KX_CDECL*)(const uint8_t*, uint32_t)>("FakePlug_Push")(
            reinterpret_cast<const uint8_t*>(s.data()), static_cast<uint32_t>(s.size()));
    }
    void SetPresent(bool p) { Fn<void(KX_CDECL*)(int)>("FakePlug_SetPresent")(p ? 1 : 0); }
    void SetFlapping(bool f) { Fn<void(KX_CDECL*)(int)>("FakePlug_SetFlapping")(f ? 1 : 0); }
    void SetWriteStallMs(uint32_t ms) {
        Fn<void(KX_CDECL*)(uint32_t)>("FakePlug_SetWriteStallMs")(ms);
    }
    std::string Written() {
        char buf[4096];
        const uint32_t n = Fn<uint32_t(KX_CDECL*)(char*, uint32_t)>("FakePlug_Written")(buf, 4096);
        return std::string(buf, n);
    }
    // "<null>" for a null parameter string.
    std::wstring LastParams() {
        wchar_t buf[256];
        const int32_t n =
            Fn<int32_t(KX_CDECL*)(wchar_t*, uint32_t)>("FakePlug_LastParams")(buf, 256);
        return n < 0 ? std::wstring(L"<null>") : std::wstring(buf, static_cast<size_t>(n));
    }
    int Count(const char* what) {
        return Fn<int32_t(KX_CDECL*)(const char*)>("FakePlug_Count")(what);
    }
    std::vector<std::pair<uint32_t, uint32_t>> Reads() {
        std::vector<uint32_t> raw(2 * 4096);
        const uint32_t n =
            Fn<uint32_t(KX_CDECL*)(uint32_t*, uint32_t)>("FakePlug_Reads")(raw.data(), 4096);
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (uint32_t i = 0; i < n && i < 4096; ++i) out.emplace_back(raw[2 * i], raw[2 * i + 1]);
        return out;
    }

  private:
    qds::plat::LibHandle m_lib;
};

class HidChannel : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_plug.Loaded()) << BesideTest("tavrix_fake_plugin");
        m_plug.Reset();
    }
    TVX_HANDLE Open(const wchar_t* params, bool paramsNull, StateLog* log = nullptr) {
        return qds::tvx::OpenTransport(
            qds::tvx::MakeHidTransportFrom(BesideTest("tavrix_fake_plugin"), params ? params : L"",
                                           paramsNull),
            log ? &StateLog::Observe : nullptr, log);
    }
    FakePlug m_plug;
};

TEST_F(HidChannel, ScanReachesTheCallbackInOneChunk) {
    TVX_HANDLE h = Open(L"id=1", false);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(m_plug.LastParams(), L"id=1");
    Receiver rx;
    ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);
    const std::string packet(
        "\x04\xFE\x00\x12\x05"
        "0\0\0\0"
        "4006381333931",
        22);
    m_plug.Push(packet);
    ASSERT_TRUE(rx.WaitBytes(packet.size()));
    EXPECT_EQ(rx.Chunks(), std::vector<std::string>{packet});
    EXPECT_EQ(qds::tvx::Close(h), 0);
    // One byte with a short bounded wait, then the rest without waiting: never a 0 wait for
    // the first byte (a busy loop) and never more than a short wait (a slow close).
    bool sawDrain = false;
    for (const auto& r : m_plug.Reads()) {
        if (r.first == 1) {
            EXPECT_GT(r.second, 0u);
            EXPECT_LE(r.second, 200u);
        } else {
            EXPECT_EQ(r.second, 0u);
            sawDrain = true;
        }
    }
    EXPECT_TRUE(sawDrain);
    EXPECT_EQ(m_plug.Count("open"), 1);
    EXPECT_EQ(m_plug.Count("close"), 1);
}

TEST_F(HidChannel, WritesAndClearGoToThePlugIn) {
    TVX_HANDLE h = Open(nullptr, true);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(m_plug.LastParams(), L"<null>");
    const std::string frame(
        "\x7E\x00\x00\x04"
        "1321\xFA",
        9);
    EXPECT_EQ(qds::tvx::Write(h, reinterpret_cast<const uint8_t*>(frame.data()), 9, 100), 9);
    EXPECT_EQ(m_plug.Written(), frame);
    EXPECT_EQ(qds::tvx::Clear(h), 0);
    EXPECT_EQ(m_plug.Count("clear"), 1);
    // A plug-in device has no descriptor of ours: the channel word is 0.
    EXPECT_EQ(**static_cast<uint32_t**>(h), 0u);
    EXPECT_EQ(qds::tvx::Close(h), 0);
}

TEST_F(HidChannel, UnplugAndReplug) {
    StateLog states;
    TVX_HANDLE h = Open(L"id=0", false, &states);
    ASSERT_NE(h, nullptr);
    Receiver rx;
    ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);

    m_plug.SetPresent(false);
    ASSERT_TRUE(states.WaitEvent(1, false));
    const uint8_t b = 6;
    EXPECT_EQ(qds::tvx::Write(h, &b, 1, 100), -1);

    m_plug.SetPresent(true);
    ASSERT_TRUE(states.WaitEvent(2, true));
    EXPECT_EQ(m_plug.LastParams(), L"id=0");  // the same device asked for again
    m_plug.Push("after replug");
    ASSERT_TRUE(rx.WaitBytes(12));
    EXPECT_EQ(rx.Bytes(), "after replug");
    EXPECT_EQ(qds::tvx::Write(h, &b, 1, 100), 1);
    EXPECT_EQ(qds::tvx::Close(h), 0);
    EXPECT_EQ(m_plug.Count("open"), m_plug.Count("close"));
}

TEST_F(HidChannel, NoDeviceFailsTheOpen) {
    m_plug.SetPresent(false);
    EXPECT_EQ(Open(L"id=0", false), nullptr);
}

TEST_F(HidChannel, BadPlugInsAreRefused) {
    const uintptr_t sizes[] = {0, 52 / 2, sizeof(PlugDllFuns) - 1, sizeof(PlugDllFuns) + 1,
                               sizeof(PlugDllFuns) == 52 ? 104u : 52u};
    for (uintptr_t size : sizes) {
        m_plug.SetTableSize(size);
        EXPECT_EQ(Open(L"", false), nullptr) << size;
    }
    m_plug.SetTableSize(sizeof(PlugDllFuns));
    EXPECT_EQ(m_plug.Count("open"), 0);
    EXPECT_EQ(qds::tvx::OpenTransport(
                  qds::tvx::MakeHidTransportFrom(BesideTest("tavrix_notable_plugin"), L"", false)),
              nullptr);
    EXPECT_EQ(qds::tvx::OpenTransport(
                  qds::tvx::MakeHidTransportFrom(BesideTest("no_such_plugin"), L"", false)),
              nullptr);
}

TEST_F(HidChannel, StatusReportsLostAndBackInOrderAndNothingAfterClose) {
    TVX_HANDLE h = Open(L"id=0", false);
    ASSERT_NE(h, nullptr);
    StatusLog status;
    EXPECT_EQ(qds::tvx::RegisterStatus(nullptr, &StatusLog::Notify, &status), -1);
    ASSERT_EQ(qds::tvx::RegisterStatus(h, &StatusLog::Notify, &status), 0);
    for (int round = 0; round < 2; ++round) {
        m_plug.SetPresent(false);
        ASSERT_TRUE(status.WaitCount(2 * round + 1));
        m_plug.SetPresent(true);
        ASSERT_TRUE(status.WaitCount(2 * round + 2));
    }
    EXPECT_EQ(status.Events(), (std::vector<int32_t>{TVX_STATUS_LOST, TVX_STATUS_BACK,
                                                     TVX_STATUS_LOST, TVX_STATUS_BACK}));
    // Unplugged while closing: the loss may race the close, but nothing comes once it returns.
    m_plug.SetPresent(false);
    EXPECT_EQ(qds::tvx::Close(h), 0);
    status.MarkClosed();
    m_plug.SetPresent(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(status.CalledAfterClose());
    EXPECT_EQ(qds::tvx::RegisterStatus(h, &StatusLog::Notify, &status), -1);  // stale handle
}

TEST_F(HidChannel, UnregisteredStatusIsNotCalled) {
    TVX_HANDLE h = Open(L"id=0", false);
    ASSERT_NE(h, nullptr);
    StatusLog status;
    ASSERT_EQ(qds::tvx::RegisterStatus(h, &StatusLog::Notify, &status), 0);
    ASSERT_EQ(qds::tvx::RegisterStatus(h, nullptr, nullptr), 0);
    status.MarkClosed();  // "closed" to this log: no call may come from here on
    StateLog states;
    m_plug.SetPresent(false);
    m_plug.SetPresent(true);
    const uint8_t b = 6;
    for (int i = 0; i < 100 && qds::tvx::Write(h, &b, 1, 100) != 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(status.CalledAfterClose());
    EXPECT_EQ(qds::tvx::Close(h), 0);
}

// A device that opens and fails at once is not reopened more than about once a second.
TEST_F(HidChannel, AFlappingDeviceIsReopenedAtMostAboutOnceASecond) {
    StatusLog status;
    TVX_HANDLE h = Open(L"id=0", false);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(qds::tvx::RegisterStatus(h, &StatusLog::Notify, &status), 0);
    m_plug.SetFlapping(true);
    m_plug.SetPresent(false);  // the open device goes; every reopen dies at once
    m_plug.SetPresent(true);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(4));
    const int opens = m_plug.Count("open") - 1;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(qds::tvx::Close(h), 0);
    EXPECT_GE(opens, 1);
    EXPECT_LE(opens, static_cast<int>(seconds) + 1) << opens << " reopens in " << seconds << " s";
    EXPECT_EQ(m_plug.Count("open"), m_plug.Count("close"));
}

// A write the device holds answers its caller within the time-out; the channel stays usable.
TEST_F(HidChannel, AStalledWriteAnswersWithinItsTimeOut) {
    TVX_HANDLE h = Open(L"id=0", false);
    ASSERT_NE(h, nullptr);
    Receiver rx;
    ASSERT_EQ(qds::tvx::RegisterNotify(h, 0, &Receiver::Notify, &rx), 0);
    m_plug.SetWriteStallMs(1500);
    const uint8_t b[2] = {1, 2};
    const struct {
        const char* what;
        int32_t timeoutMs;
    } cases[] = {{"the stalled write", 100}, {"a write behind it", 100}};
    for (const auto& c : cases) {
        const auto start = Clock::now();
        EXPECT_EQ(qds::tvx::Write(h, b, 2, c.timeoutMs), -1) << c.what;
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000)) << c.what;
    }
    // Input still flows, and clear and close do not wait for the write.
    m_plug.Push("scan");
    ASSERT_TRUE(rx.WaitBytes(4));
    auto start = Clock::now();
    EXPECT_EQ(qds::tvx::Clear(h), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    m_plug.SetWriteStallMs(0);
    // Once the stalled write is done, writes go through again.
    bool through = false;
    for (int i = 0; i < 100 && !through; ++i) through = qds::tvx::Write(h, b, 2, 100) == 2;
    EXPECT_TRUE(through);
    EXPECT_EQ(qds::tvx::Close(h), 0);
}

TEST_F(HidChannel, FailuresSayWhatWasTried) {
    const std::string missing = BesideTest("no_such_plugin");
    EXPECT_EQ(qds::tvx::MakeHidTransportFrom(missing, L"", false), nullptr);
    EXPECT_NE(qds::tvx::LastReason().find("HID plug-in library not loaded: " + missing),
              std::string::npos)
        << qds::tvx::LastReason();
    m_plug.SetTableSize(7);
    EXPECT_EQ(Open(L"", false), nullptr);
    EXPECT_NE(qds::tvx::LastReason().find("HID plug-in table wrong"), std::string::npos)
        << qds::tvx::LastReason();
    EXPECT_NE(qds::tvx::LastReason().find("table of 7 bytes"), std::string::npos);
    m_plug.SetTableSize(sizeof(PlugDllFuns));
    m_plug.SetPresent(false);
    EXPECT_EQ(Open(L"id=4", false), nullptr);
    EXPECT_NE(qds::tvx::LastReason().find("no matching HID device"), std::string::npos)
        << qds::tvx::LastReason();
    EXPECT_NE(qds::tvx::LastReason().find("\"id=4\""), std::string::npos);
}

}  // namespace
