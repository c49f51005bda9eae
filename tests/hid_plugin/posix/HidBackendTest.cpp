// The Linux backend: discovery over a fixture sysfs tree, and the device I/O against stand-in
// nodes (SOCK_SEQPACKET sockets in the fixture's device folder) that move whole reports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "hid_plugin/HidDiscovery.h"
#include "hid_plugin/PlugTable.h"
#include "platform/dynlib.h"
#include "platform/hid_device.h"
#include "platform/hid_standin.h"
#include "platform/process.h"

namespace fs = std::filesystem;
using qds::plat::CHidStandIn;
using qds::plat::HidIo;

namespace {

class Fixture : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("vantrel_" + std::to_string(qds::plat::CurrentProcessId()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "sys/class/hidraw");
        fs::create_directories(root / "dev");
        setenv("VANTREL_SYSFS_ROOT", (root / "sys").c_str(), 1);
        setenv("VANTREL_DEV_DIR", (root / "dev").c_str(), 1);
    }
    void TearDown() override {
        standIns.clear();
        unsetenv("VANTREL_SYSFS_ROOT");
        unsetenv("VANTREL_DEV_DIR");
        fs::remove_all(root);
    }
    // A hidraw node in sysfs with the given uevent text.
    void Node(const std::string& name, const std::string& uevent) {
        const fs::path dir = root / "sys/class/hidraw" / name / "device";
        fs::create_directories(dir);
        std::ofstream(dir / "uevent") << uevent;
    }
    void Scanner(const std::string& name, const std::string& hidId) {
        Node(name, "DRIVER=hid-generic\nHID_ID=" + hidId + "\nHID_NAME=Scanner\n");
    }
    CHidStandIn& StandIn(const std::string& name, uint32_t inBuffer = 0) {
        standIns.push_back(CHidStandIn::Create((root / "dev" / name).string(), inBuffer));
        EXPECT_NE(standIns.back(), nullptr);
        return *standIns.back();
    }

    fs::path root;
    std::vector<std::unique_ptr<CHidStandIn>> standIns;
};

bool Push(const wchar_t* path, void* context) {
    static_cast<std::vector<std::wstring>*>(context)->push_back(path);
    return true;
}
std::vector<std::wstring> Listed() {
    std::vector<std::wstring> paths;
    qds::plat::ListHidInterfacePaths(Push, &paths);
    return paths;
}

TEST_F(Fixture, ListsNodesInNumberOrderWithWindowsShapedPaths) {
    Scanner("hidraw10", "0003:00006A2F:00000B10");
    Scanner("hidraw2", "0003:0000046D:0000C52B");
    Scanner("hidraw0", "0003:00006A2F:00000A10");
    Scanner("hidraw1", "0003:000003F0:00005539");
    Node("hidraw3", "DRIVER=hid-generic\n");       // no HID_ID: not listed
    Node("hidraw4", "HID_ID=garbage\n");           // malformed: not listed
    Scanner("hidrawx", "0003:00006A2F:00000A10");  // not a node name
    const std::vector<std::wstring> want = {
        L"\\\\?\\hid#vid_6a2f&pid_0a10#hidraw0",
        L"\\\\?\\hid#vid_03f0&pid_5539#hidraw1",
        L"\\\\?\\hid#vid_046d&pid_c52b#hidraw2",
        L"\\\\?\\hid#vid_6a2f&pid_0b10#hidraw10",
    };
    EXPECT_EQ(Listed(), want);
    EXPECT_EQ(qds::hid::EnumHidPosDevices(qds::plat::ListHidInterfacePaths), 3);
}

TEST_F(Fixture, NoSysfsTreeListsNothingAndOpensNothing) {
    fs::remove_all(root / "sys");
    EXPECT_TRUE(Listed().empty());
    EXPECT_EQ(PlugOpen(nullptr), nullptr);
    EXPECT_EQ(PlugOpen(L"id=0"), nullptr);
}

TEST_F(Fixture, OpenRefusesPathsOutsideTheDeviceFolder) {
    StandIn("hidraw0");
    EXPECT_EQ(qds::plat::OpenHidDevice(L"\\\\?\\hid#vid_6a2f&pid_0a10#../dev/hidraw0"), nullptr);
    EXPECT_EQ(qds::plat::OpenHidDevice(L"\\\\?\\hid#vid_6a2f&pid_0a10#hidraw9"), nullptr);
    EXPECT_EQ(qds::plat::OpenHidDevice(nullptr), nullptr);
    EXPECT_NE(qds::plat::OpenHidDevice(L"\\\\?\\hid#vid_6a2f&pid_0a10#hidraw0"), nullptr);
}

// Sends a report with a one-byte payload naming the node, and reads it back through the table.
int32_t WhichNode(void* handle, CHidStandIn& a, CHidStandIn& b, CHidStandIn& c) {
    uint8_t report[64] = {2, 1};
    int32_t which = -1;
    CHidStandIn* all[] = {&a, &b, &c};
    for (int i = 0; i < 3; ++i) {
        if (all[i]->Accept(0)) {
            report[2] = static_cast<uint8_t>(i);
            all[i]->SendReport(report, 64);
            uint8_t got = 0xFF;
            if (PlugRead(handle, &got, 1, PLUG_INFINITE) == 1) which = got;
            all[i]->Unplug();
        }
    }
    return which;
}

TEST_F(Fixture, OpenChoosesTheDeviceById) {
    Scanner("hidraw0", "0003:00006A2F:00000A10");
    Scanner("hidraw1", "0003:0000046D:0000C52B");  // not a scanner
    Scanner("hidraw2", "0003:000003F0:00005539");
    Scanner("hidraw3", "0003:00006A2F:00001210");
    CHidStandIn& a = StandIn("hidraw0");
    StandIn("hidraw1");
    CHidStandIn& b = StandIn("hidraw2");
    CHidStandIn& c = StandIn("hidraw3");
    const struct {
        const wchar_t* params;
        int32_t node;
    } cases[] = {{L"id=0", 0}, {L"id=1", 1}, {L"id=2", 2}, {nullptr, 2}, {L"id=abc", 0}};
    for (const auto& k : cases) {
        void* h = PlugOpen(k.params);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(WhichNode(h, a, b, c), k.node);
        PlugClose(h);
    }
    EXPECT_EQ(PlugOpen(L"id=3"), nullptr);
}

TEST_F(Fixture, ReportsFlowBothWaysAndUnplugClosesTheDevice) {
    Scanner("hidraw0", "0003:00006A2F:00000A10");
    CHidStandIn& scanner = StandIn("hidraw0");
    void* h = PlugOpen(nullptr);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(scanner.Accept(60000));

    uint8_t in[64] = {2, 5, 'H', 'e', 'l', 'l', 'o'};
    ASSERT_TRUE(scanner.SendReport(in, 64));
    uint8_t got[8] = {};
    ASSERT_EQ(PlugRead(h, got, 5, PLUG_INFINITE), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 5), "Hello");

    std::vector<uint8_t> out(57);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i + 1);
    ASSERT_EQ(PlugWrite(h, out.data(), 57), 57);
    uint8_t r[128];
    ASSERT_EQ(scanner.ReceiveReport(r, sizeof r, 60000), 64);
    EXPECT_EQ(r[0], 4);
    EXPECT_EQ(r[1], 56);
    EXPECT_EQ(r[63], 1);
    ASSERT_EQ(scanner.ReceiveReport(r, sizeof r, 60000), 64);
    EXPECT_EQ(r[1], 1);
    EXPECT_EQ(r[2], 57);
    EXPECT_EQ(r[63], 0);

    scanner.Unplug();
    EXPECT_EQ(PlugRead(h, got, 1, PLUG_INFINITE), PLUG_E_CLOSED);
    EXPECT_EQ(PlugGetStatus(h), PLUG_STATUS_CLOSED);
    EXPECT_EQ(PlugClose(h), 0);
}

TEST_F(Fixture, BackendReadStopsOnRequestAndFailsOnUnplug) {
    CHidStandIn& scanner = StandIn("hidraw0");
    auto dev = qds::plat::OpenHidDevice(L"\\\\?\\hid#vid_6a2f&pid_0a10#hidraw0");
    ASSERT_NE(dev, nullptr);
    ASSERT_TRUE(scanner.Accept(60000));
    uint8_t report[64];
    uint32_t count = 0;
    auto read = std::async(std::launch::async, [&] { return dev->ReadReport(report, count); });
    dev->RequestStop();
    EXPECT_EQ(read.get(), HidIo::Stopped);

    auto dev2 = qds::plat::OpenHidDevice(L"\\\\?\\hid#vid_6a2f&pid_0a10#hidraw0");
    ASSERT_NE(dev2, nullptr);
    scanner.Unplug();
    ASSERT_TRUE(scanner.Accept(60000));  // dev2's connection
    scanner.Unplug();
    EXPECT_EQ(dev2->ReadReport(report, count), HidIo::Failed);
    dev2->Close();
    EXPECT_FALSE(dev2->IsOpen());
}

TEST_F(Fixture, BackendWriteThatCannotCompleteTimesOut) {
    CHidStandIn& scanner = StandIn("hidraw0", 1024);
    auto dev = qds::plat::OpenHidDevice(L"\\\\?\\hid#vid_6a2f&pid_0a10#hidraw0");
    ASSERT_NE(dev, nullptr);
    ASSERT_TRUE(scanner.Accept(60000));
    uint8_t report[64] = {4, 1};
    HidIo io = HidIo::Done;
    uint32_t count = 0;
    int writes = 0;
    // Nobody reads the stand-in: its buffer fills and then a write stays incomplete.
    while (io == HidIo::Done && writes < 100000) {
        io = dev->WriteReport(report, count, 50);
        if (io == HidIo::Done) {
            EXPECT_EQ(count, 64u);
        }
        ++writes;
    }
    EXPECT_EQ(io, HidIo::TimedOut);
    EXPECT_GT(writes, 1);
}

TEST_F(Fixture, TheBuiltLibraryDrivesAStandInScanner) {
    Scanner("hidraw0", "0003:00006A2F:00000A10");
    CHidStandIn& scanner = StandIn("hidraw0");
    qds::plat::LibHandle lib = qds::plat::LoadLib(VANTREL_LIBRARY_FILE);
    ASSERT_NE(lib, nullptr);
    auto get = reinterpret_cast<GetPlugDllFunsFn>(qds::plat::GetSymbol(lib, "GetPlugDllFuns"));
    ASSERT_NE(get, nullptr);
    PlugDllFuns t{};
    ASSERT_EQ(get(&t), 0);
    void* h = t.PlugOpen(L"id=0");
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(scanner.Accept(60000));
    EXPECT_EQ(t.PlugGetStatus(h), PLUG_STATUS_OPEN);
    const uint8_t claim[8] = {0x7E, 0x00, 0x00, 0x04, '1', '3', '3', '1'};
    ASSERT_EQ(t.PlugWrite(h, claim, 8), 8);
    uint8_t r[128];
    ASSERT_EQ(scanner.ReceiveReport(r, sizeof r, 60000), 64);
    EXPECT_EQ(std::vector<uint8_t>(r + 2, r + 10), std::vector<uint8_t>(claim, claim + 8));
    uint8_t ack[64] = {2, 3, 0x02, 0x00, 0x00};
    ASSERT_TRUE(scanner.SendReport(ack, 64));
    uint8_t got[8];
    EXPECT_EQ(t.PlugRead(h, got, 1, 60000), 1);
    EXPECT_EQ(t.PlugRead(h, got + 1, 7, 0), 2);
    EXPECT_EQ(t.PlugClear(h), 0);
    EXPECT_EQ(t.PlugClose(h), 0);
    qds::plat::FreeLib(lib);
}

}  // namespace
