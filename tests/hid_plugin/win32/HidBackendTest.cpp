// The Win32 backend under Wine: real SetupAPI discovery (no HID-POS scanner there), and the
// overlapped read, stop, write and time-out paths against a message-mode named pipe that
// stands in for the device.
#include <gtest/gtest.h>

#include <future>
#include <string>

#include "hid_plugin/HidDiscovery.h"
#include "hid_plugin/HidPosDevice.h"
#include "hid_plugin/PlugTable.h"
#include "platform/hid_device.h"
#include "platform/hid_standin.h"
#include "platform/process.h"

using qds::plat::CHidStandIn;
using qds::plat::HidIo;

namespace {

std::string PipeName(const char* tag) {
    return "\\\\.\\pipe\\vantrel_" + std::to_string(qds::plat::CurrentProcessId()) + "_" + tag;
}
std::wstring Wide(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

bool CountPath(const wchar_t* path, void* context) {
    EXPECT_NE(path, nullptr);
    ++*static_cast<int*>(context);
    return true;
}

TEST(Win32Discovery, NoScannerMeansNoDeviceAndNoOpen) {
    int listed = 0;
    qds::plat::ListHidInterfacePaths(CountPath, &listed);
    EXPECT_GE(listed, 0);
    EXPECT_EQ(qds::hid::EnumHidPosDevices(qds::plat::ListHidInterfacePaths), 0);
    EXPECT_EQ(PlugOpen(nullptr), nullptr);
    EXPECT_EQ(PlugOpen(L"id=0"), nullptr);
}

TEST(Win32Backend, OpenFailsForAMissingPath) {
    EXPECT_EQ(qds::plat::OpenHidDevice(Wide(PipeName("missing")).c_str()), nullptr);
    EXPECT_EQ(qds::plat::OpenHidDevice(nullptr), nullptr);
}

TEST(Win32Backend, OverlappedReadWriteAndStop) {
    const std::string name = PipeName("rw");
    auto standIn = CHidStandIn::Create(name, 0);
    ASSERT_NE(standIn, nullptr);
    auto dev = qds::plat::OpenHidDevice(Wide(name).c_str());
    ASSERT_NE(dev, nullptr);
    ASSERT_TRUE(standIn->Accept(60000));

    uint8_t in[64] = {2, 3, 'a', 'b', 'c'};
    ASSERT_TRUE(standIn->SendReport(in, 64));
    uint8_t report[64] = {};
    uint32_t count = 0;
    ASSERT_EQ(dev->ReadReport(report, count), HidIo::Done);
    EXPECT_EQ(count, 64u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(report) + 2, 3), "abc");

    uint8_t out[64] = {4, 1, 0x42};
    ASSERT_EQ(dev->WriteReport(out, count, 1000), HidIo::Done);
    EXPECT_EQ(count, 64u);
    uint8_t got[128];
    ASSERT_EQ(standIn->ReceiveReport(got, sizeof got, 60000), 64);
    EXPECT_EQ(got[2], 0x42);

    // A read that is pending when the stop comes is cancelled.
    auto read = std::async(std::launch::async, [&] {
        uint32_t n = 0;
        return dev->ReadReport(report, n);
    });
    dev->RequestStop();
    EXPECT_EQ(read.get(), HidIo::Stopped);
    dev->Close();
    EXPECT_FALSE(dev->IsOpen());
}

TEST(Win32Backend, UnplugFailsAPendingRead) {
    const std::string name = PipeName("unplug");
    auto standIn = CHidStandIn::Create(name, 0);
    ASSERT_NE(standIn, nullptr);
    auto dev = qds::plat::OpenHidDevice(Wide(name).c_str());
    ASSERT_NE(dev, nullptr);
    ASSERT_TRUE(standIn->Accept(60000));
    auto read = std::async(std::launch::async, [&] {
        uint8_t report[64];
        uint32_t n = 0;
        return dev->ReadReport(report, n);
    });
    standIn->Unplug();
    EXPECT_EQ(read.get(), HidIo::Failed);
}

TEST(Win32Backend, WriteThatCannotCompleteIsCancelled) {
    const std::string name = PipeName("stall");
    auto standIn = CHidStandIn::Create(name, 64);
    ASSERT_NE(standIn, nullptr);
    auto dev = qds::plat::OpenHidDevice(Wide(name).c_str());
    ASSERT_NE(dev, nullptr);
    ASSERT_TRUE(standIn->Accept(60000));
    uint8_t report[64] = {4, 1};
    HidIo io = HidIo::Done;
    uint32_t count = 0;
    int writes = 0;
    while (io == HidIo::Done && writes < 10000) {
        io = dev->WriteReport(report, count, 50);
        ++writes;
    }
    EXPECT_EQ(io, HidIo::TimedOut);
}

TEST(Win32Backend, DeviceObjectOverThePipe) {
    const std::string name = PipeName("device");
    auto standIn = CHidStandIn::Create(name, 0);
    ASSERT_NE(standIn, nullptr);
    void* h = qds::hid::HidPosDevice::Create(qds::hid::OpenHidReportDevice(Wide(name).c_str()));
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(standIn->Accept(60000));
    uint8_t in[64] = {2, 2, 7, 8};
    ASSERT_TRUE(standIn->SendReport(in, 64));
    uint8_t got[4] = {};
    ASSERT_EQ(PlugRead(h, got, 2, PLUG_INFINITE), 2);
    EXPECT_EQ(got[0], 7);
    EXPECT_EQ(got[1], 8);
    const uint8_t out[3] = {1, 2, 3};
    EXPECT_EQ(PlugWrite(h, out, 3), 3);
    uint8_t r[128];
    ASSERT_EQ(standIn->ReceiveReport(r, sizeof r, 60000), 64);
    EXPECT_EQ(r[0], 4);
    EXPECT_EQ(r[1], 3);
    standIn->Unplug();
    EXPECT_EQ(PlugRead(h, got, 1, PLUG_INFINITE), PLUG_E_CLOSED);
    EXPECT_EQ(PlugGetStatus(h), PLUG_STATUS_CLOSED);
    EXPECT_EQ(PlugClose(h), 0);
}

// A write the pipe never takes is cancelled (CancelIo) after the report's 1000 ms; the device
// shuts down, and a reopen finds no such device listed (pipes are not HID interfaces).
TEST(Win32Backend, AStalledWriteIsCancelledAndShutsTheDeviceDown) {
    const std::string name = PipeName("stalled");
    auto standIn = CHidStandIn::Create(name, 64);
    ASSERT_NE(standIn, nullptr);
    const std::wstring path = Wide(name);
    void* h =
        qds::hid::HidPosDevice::Create(qds::hid::OpenHidReportDevice(path.c_str()), path.c_str());
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(standIn->Accept(60000));
    const uint8_t out[56] = {1};
    int32_t r = 56;
    int writes = 0;
    while (r == 56 && writes < 10000) {
        r = PlugWrite(h, out, 56);
        ++writes;
    }
    EXPECT_EQ(r, PLUG_E_TRANSFER);
    EXPECT_EQ(PlugGetStatus(h), PLUG_STATUS_CLOSED);
    EXPECT_EQ(PlugWrite(h, out, 1), PLUG_E_CLOSED);
    void* again = &again;
    EXPECT_EQ(PlugReopen(h, &again), PLUG_REOPEN_DONE);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(PlugClose(h), 0);
}

}  // namespace
