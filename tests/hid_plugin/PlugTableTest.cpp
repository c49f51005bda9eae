// The function table and the simple slots, through the core and through the built library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hid_plugin/PlugTable.h"
#include "platform/dynlib.h"

namespace {

void ExpectTable(const PlugDllFuns& t) {
    EXPECT_EQ(t.size, 13 * sizeof(void*));
    EXPECT_EQ(t.size, sizeof(void*) == 4 ? 52u : 104u);
    for (PlugReservedFn r :
         {t.PlugReserved4, t.PlugReserved10, t.PlugReserved11, t.PlugReserved12}) {
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r(), 0);
    }
    // Slot 9 offers the reopen of a lost handle's own device.
    ASSERT_NE(t.PlugReserved9, nullptr);
    auto reopen = reinterpret_cast<PlugReopenFn>(reinterpret_cast<void (*)(void)>(t.PlugReserved9));
    void* out = &out;
    EXPECT_EQ(reopen(nullptr, &out), -1);
    EXPECT_EQ(reopen(&out, nullptr), -1);
    ASSERT_NE(t.PlugGetDesc, nullptr);
    wchar_t desc[24];
    EXPECT_EQ(t.PlugGetDesc(desc, 24), 0);
    EXPECT_EQ(std::wstring(desc), L"Usb hid-pos communicate");
    EXPECT_EQ(t.PlugGetStatus(nullptr), -1);
    EXPECT_EQ(t.PlugClose(nullptr), 0);
    EXPECT_NE(t.PlugOpen, nullptr);
    EXPECT_NE(t.PlugRead, nullptr);
    EXPECT_NE(t.PlugWrite, nullptr);
    EXPECT_NE(t.PlugClear, nullptr);
}

TEST(PlugTable, FillWritesEverySlot) {
    EXPECT_EQ(qds::hid::FillPlugDllFuns(nullptr), -1);
    PlugDllFuns t;
    std::memset(&t, 0xCC, sizeof t);  // not read first: word 0 is an output
    ASSERT_EQ(qds::hid::FillPlugDllFuns(&t), 0);
    ExpectTable(t);
    EXPECT_EQ(t.PlugOpen, &PlugOpen);
    EXPECT_EQ(t.PlugRead, &PlugRead);
    EXPECT_EQ(t.PlugWrite, &PlugWrite);
    EXPECT_EQ(t.PlugClear, &PlugClear);
}

TEST(PlugTable, Description) {
    wchar_t buf[32];
    std::fill(std::begin(buf), std::end(buf), L'#');
    EXPECT_EQ(PlugGetDesc(buf, 23), -2);
    EXPECT_EQ(buf[0], L'#');
    EXPECT_EQ(PlugGetDesc(buf, 0), -1);
    EXPECT_EQ(PlugGetDesc(nullptr, 24), -1);
    EXPECT_EQ(PlugGetDesc(buf, 24), 0);
    EXPECT_EQ(std::wstring(buf), L"Usb hid-pos communicate");
    EXPECT_EQ(buf[24], L'#');
}

TEST(PlugTable, NullHandles) {
    uint8_t b[4] = {};
    EXPECT_EQ(PlugClose(nullptr), 0);
    EXPECT_EQ(PlugGetStatus(nullptr), -1);
    EXPECT_EQ(PlugRead(nullptr, b, 4, 0), -1);
    EXPECT_EQ(PlugWrite(nullptr, b, 4), -1);
    EXPECT_EQ(PlugClear(nullptr), -1);
}

// The built library: its one export, by its plain name.
TEST(VantrelLibrary, ExportFillsTheTable) {
    const std::string file = std::string(VANTREL_LIBRARY_FILE);
    qds::plat::LibHandle lib = qds::plat::LoadLib(file.c_str());
    ASSERT_NE(lib, nullptr) << file;
    auto get = reinterpret_cast<GetPlugDllFunsFn>(qds::plat::GetSymbol(lib, "GetPlugDllFuns"));
    ASSERT_NE(get, nullptr);
    EXPECT_EQ(qds::plat::GetSymbol(lib, "PlugOpen"), nullptr);  // reached only through the table
    EXPECT_EQ(get(nullptr), -1);
    PlugDllFuns t{};
    ASSERT_EQ(get(&t), 0);
    ExpectTable(t);
    qds::plat::FreeLib(lib);
}

}  // namespace
