// Parameter lookup, the choice by "id", the path matching rules and the path table.
#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "hid_plugin/HidDiscovery.h"

using namespace qds::hid;

// Lets a test make the non-throwing array allocation fail.
static std::atomic<bool> g_failNothrowNew{false};
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (g_failNothrowNew.load()) return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

struct ParamCase {
    const wchar_t* text;
    int found;
    const wchar_t* value;
};

TEST(GetParamValue, FindsEntriesByTheirRules) {
    const ParamCase cases[] = {
        {L"id=0", 1, L"0"},
        {L"id=2;baud=9600", 1, L"2"},
        {L"com=1;id=7;", 1, L"7"},
        {L"xid=2;id=1", 1, L"1"},  // the occurrence inside xid does not start an entry
        {L"idx=5;id=0", 1, L"0"},
        {L"id=", 1, L""},
        {L"id=abc", 1, L"abc"},
        {L"id=1234567890123456789", 1, L"1234567890123456789"},  // 19 characters
        {L"id=12345678901234567890", 0, nullptr},                // 20 characters
        {L"id=12345678901234567890;id=1", 0, nullptr},           // the first entry decides
        {L"xid=2", 0, nullptr},
        {L"com=1;id", 0, nullptr},  // the key at the end, without '='
        {L"id", 0, nullptr},
        {L"", 0, nullptr},
        {L"baud=9600", 0, nullptr},
        {L"ID=1", 0, nullptr},  // keys are case-sensitive
    };
    for (const ParamCase& c : cases) {
        wchar_t value[kParamValueChars];
        std::fill(std::begin(value), std::end(value), L'#');
        const std::wstring text(c.text);
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        EXPECT_EQ(GetParamValue(c.text, L"id", value), c.found);
        if (c.found) {
            EXPECT_EQ(std::wstring(value), c.value);
        }
    }
}

TEST(GetParamValue, NullArgumentsAndAnEmptyKeyAreNotFound) {
    wchar_t value[kParamValueChars] = L"untouched";
    EXPECT_EQ(GetParamValue(nullptr, L"id", value), 0);
    EXPECT_EQ(GetParamValue(L"id=1", nullptr, value), 0);
    EXPECT_EQ(GetParamValue(L"id=1", L"id", nullptr), 0);
    EXPECT_EQ(GetParamValue(L"=1", L"", value), 0);
    EXPECT_EQ(std::wstring(value), L"untouched");
}

TEST(GetParamValue, NoMemoryForTheCopyCountsAsNotFound) {
    wchar_t value[kParamValueChars] = L"untouched";
    g_failNothrowNew = true;
    const int found = GetParamValue(L"id=1", L"id", value);
    const int index = ChooseDeviceIndex(L"id=0", 3);
    g_failNothrowNew = false;
    EXPECT_EQ(found, 0);
    EXPECT_EQ(std::wstring(value), L"untouched");
    EXPECT_EQ(index, 2);  // as without the key: the last device
    EXPECT_EQ(GetParamValue(L"id=1", L"id", value), 1);
}

TEST(GetParamValue, LeavesTheCallersTextAlone) {
    const std::wstring before = L"xid=2;id=1;baud=9600";
    std::wstring text = before;
    wchar_t value[kParamValueChars];
    ASSERT_EQ(GetParamValue(text.c_str(), L"id", value), 1);
    EXPECT_EQ(text, before);
}

struct ChoiceCase {
    const wchar_t* params;
    int index;
};

TEST(ChooseDeviceIndex, AmongThreeDevices) {
    const ChoiceCase cases[] = {
        {L"id=0", 0},
        {L"id=2", 2},
        {L"id=3", -1},
        {L"id=-1", -1},
        {nullptr, 2},
        {L"baud=9600", 2},
        {L"id=12345678901234567890", 2},  // too long: not found
        {L"id=abc", 0},
        {L"id=", 0},
        {L"xid=2;id=1", 1},
        {L"idx=5;id=0", 0},
        {L"com=1;id", 2},
        {L"id=  +1x", 1},  // white space and a sign; stops at the first non-digit
        {L"id=99999999999999999", -1},
    };
    for (const ChoiceCase& c : cases) {
        EXPECT_EQ(ChooseDeviceIndex(c.params, 3), c.index)
            << (c.params ? std::string(c.params, c.params + std::wstring(c.params).size())
                         : std::string("(null)"));
    }
}

TEST(ChooseDeviceIndex, NothingListedChoosesNothing) {
    EXPECT_EQ(ChooseDeviceIndex(nullptr, 0), -1);
    EXPECT_EQ(ChooseDeviceIndex(L"id=0", 0), -1);
}

struct MatchCase {
    const wchar_t* path;
    bool match;
};

TEST(IsHidPosPath, MatchRules) {
    const MatchCase cases[] = {
        {L"\\\\?\\hid#vid_6a2f&pid_0a10#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
         true},
        {L"\\\\?\\HID#VID_6A2F&PID_0A10#7&1A2B&0&0000", true},
        {L"\\\\?\\hid#vid_6a2f&pid_ff10", true},
        {L"\\\\?\\hid#vid_6a2f&pid_0a11", false},
        {L"\\\\?\\hid#vid_6a2f&pid_0a1", false},
        {L"\\\\?\\hid#vid_6a2f&pid_", false},
        {L"\\\\?\\hid#vid_03f0&pid_5539&col01", true},
        {L"\\\\?\\hid#vid_03f0&pid_5538", false},
        {L"\\\\?\\hid#vid_03f0&pid_0a10", false},
        {L"\\\\?\\usb#vid_6a2f&pid_0a10", false},
        {L"\\\\.\\hid#vid_6a2f&pid_0a10", false},
        {L"\\\\?\\hidx#vid_6a2f&pid_0a10", false},
        {L"", false},
        {nullptr, false},
    };
    for (const MatchCase& c : cases) {
        EXPECT_EQ(IsHidPosPath(c.path), c.match)
            << (c.path ? std::string(c.path, c.path + std::wstring(c.path).size()) : "(null)");
    }
}

// A path lister that hands out a fixed list.
std::vector<std::wstring>* g_pListed = nullptr;
int g_visited = 0;
void ListFixed(qds::plat::HidPathVisitor visit, void* context) {
    g_visited = 0;
    for (const std::wstring& p : *g_pListed) {
        ++g_visited;
        if (!visit(p.c_str(), context)) return;
    }
}

std::wstring Matching(int n) {
    return L"\\\\?\\hid#vid_6a2f&pid_0a10#" + std::to_wstring(n);
}

TEST(EnumHidPosDevices, KeepsTheFirstThirtyInListOrderAndStops) {
    std::vector<std::wstring> listed;
    for (int i = 0; i < 31; ++i) listed.push_back(Matching(i));
    g_pListed = &listed;
    ASSERT_EQ(EnumHidPosDevices(ListFixed), 30);
    EXPECT_EQ(g_visited, 30);  // the walk ends at the thirtieth match
    for (int i = 0; i < 30; ++i) EXPECT_EQ(std::wstring(DevicePathEntry(i)), Matching(i));
}

TEST(EnumHidPosDevices, KeepsPathsAsListedAndSkipsOnesThatDoNotFit) {
    const std::wstring upper = L"\\\\?\\HID#VID_6A2F&PID_0A10#Upper";
    const std::wstring base = L"\\\\?\\hid#vid_03f0&pid_5539#";
    auto ofLength = [&](size_t n) { return base + std::wstring(n - base.size(), L'x'); };
    std::vector<std::wstring> listed = {L"\\\\?\\hid#vid_046d&pid_c52b#mouse",
                                        upper,
                                        ofLength(259),
                                        ofLength(260),
                                        ofLength(261),
                                        L"\\\\?\\hid#vid_6a2f&pid_0a11#other",
                                        Matching(7)};
    g_pListed = &listed;
    ASSERT_EQ(EnumHidPosDevices(ListFixed), 3);
    EXPECT_EQ(std::wstring(DevicePathEntry(0)), upper);
    EXPECT_EQ(std::wstring(DevicePathEntry(1)), ofLength(259));
    EXPECT_EQ(std::wstring(DevicePathEntry(2)), Matching(7));
    EXPECT_EQ(DevicePathEntry(3)[0], L'\0');
}

TEST(EnumHidPosDevices, ARunZeroesWhatAnEarlierRunLeft) {
    std::vector<std::wstring> listed = {Matching(1), Matching(2)};
    g_pListed = &listed;
    ASSERT_EQ(EnumHidPosDevices(ListFixed), 2);
    listed = {Matching(3)};
    ASSERT_EQ(EnumHidPosDevices(ListFixed), 1);
    EXPECT_EQ(DevicePathEntry(1)[0], L'\0');
}

// Two listers that each describe a different machine; every choice must be a whole path from
// the lister that the caller used, however the discoveries overlap.
void ListA(qds::plat::HidPathVisitor visit, void* context) {
    for (int i = 0; i < 30; ++i) {
        const std::wstring p = L"\\\\?\\hid#vid_6a2f&pid_0a10#" + std::wstring(200, L'a');
        if (!visit(p.c_str(), context)) return;
    }
}
void ListB(qds::plat::HidPathVisitor visit, void* context) {
    for (int i = 0; i < 2; ++i) {
        const std::wstring p = L"\\\\?\\hid#vid_03f0&pid_5539#" + std::wstring(200, L'b');
        if (!visit(p.c_str(), context)) return;
    }
}

TEST(ChooseDevicePath, OverlappingOpensNeverTearAPath) {
    const std::wstring a = L"\\\\?\\hid#vid_6a2f&pid_0a10#" + std::wstring(200, L'a');
    const std::wstring b = L"\\\\?\\hid#vid_03f0&pid_5539#" + std::wstring(200, L'b');
    std::atomic<int> bad{0};
    auto run = [&](HidPathLister lister, const wchar_t* params, const std::wstring& want) {
        for (int i = 0; i < 2000; ++i) {
            wchar_t path[kDevicePathChars];
            if (!ChooseDevicePath(params, path, lister) || std::wstring(path) != want) ++bad;
        }
    };
    std::thread t1(run, ListA, L"id=29", a);
    std::thread t2(run, ListB, L"id=1", b);
    t1.join();
    t2.join();
    EXPECT_EQ(bad.load(), 0);
}

TEST(ChooseDevicePath, NoMatchOrOutOfRangeChoosesNothing) {
    wchar_t path[kDevicePathChars];
    std::vector<std::wstring> listed = {L"\\\\?\\hid#vid_046d&pid_c52b#mouse"};
    g_pListed = &listed;
    EXPECT_FALSE(ChooseDevicePath(nullptr, path, ListFixed));
    listed = {Matching(0), Matching(1), Matching(2)};
    EXPECT_FALSE(ChooseDevicePath(L"id=3", path, ListFixed));
    ASSERT_TRUE(ChooseDevicePath(nullptr, path, ListFixed));
    EXPECT_EQ(std::wstring(path), Matching(2));
    EXPECT_FALSE(ChooseDevicePath(nullptr, nullptr, ListFixed));
}

// Serial numbers by node, as a test sets them.
std::vector<std::pair<std::wstring, std::wstring>>* g_pSerials = nullptr;
std::wstring SerialFixed(const wchar_t* path) {
    for (const auto& e : *g_pSerials) {
        if (e.first == path) return e.second;
    }
    return std::wstring();
}

TEST(FindSameDevice, TheSameScannerAndNeverAnother) {
    const std::wstring mine = Matching(1);
    const std::wstring otherModel = L"\\\\?\\hid#vid_03f0&pid_5539#2";
    const struct {
        const char* what;
        const wchar_t* serial;  // of the device that was open at `mine`
        std::vector<std::wstring> listed;
        std::vector<std::pair<std::wstring, std::wstring>> serials;
        bool found;
        std::wstring at;
    } cases[] = {
        {"no serial: its path while listed", L"", {Matching(0), mine}, {}, true, mine},
        {"no serial: not listed", L"", {Matching(0), Matching(2)}, {}, false, L""},
        {"serial: at its path",
         L"S1",
         {Matching(0), mine},
         {{Matching(0), L"S1"}, {mine, L"S1"}},
         true,
         mine},
        {"serial: moved to another node",
         L"S1",
         {Matching(0), Matching(2)},
         {{Matching(0), L"S0"}, {Matching(2), L"S1"}},
         true,
         Matching(2)},
        {"serial: its node now holds another scanner", L"S1", {mine}, {{mine, L"S9"}}, false, L""},
        {"serial: same serial but another model",
         L"S1",
         {otherModel},
         {{otherModel, L"S1"}},
         false,
         L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::wstring> listed = c.listed;
        std::vector<std::pair<std::wstring, std::wstring>> serials = c.serials;
        g_pListed = &listed;
        g_pSerials = &serials;
        wchar_t found[kDevicePathChars] = {};
        EXPECT_EQ(FindSameDevice(mine.c_str(), c.serial, found, ListFixed, SerialFixed), c.found);
        if (c.found) {
            EXPECT_EQ(std::wstring(found), c.at);
        }
    }
    wchar_t found[kDevicePathChars];
    EXPECT_FALSE(FindSameDevice(nullptr, L"", found, ListFixed, SerialFixed));
    EXPECT_FALSE(FindSameDevice(L"", L"", found, ListFixed, SerialFixed));
    EXPECT_FALSE(FindSameDevice(mine.c_str(), L"", nullptr, ListFixed, SerialFixed));
}

}  // namespace
