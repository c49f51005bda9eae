// Finding an export of a module already loaded (how Kolvex finds the framework's optional
// exports), with a small library of our own loaded for real.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/dynlib.h"

namespace {

using qds::plat::GetLoadedSymbol;

TEST(DynlibTest, ExportOfALoadedModuleIsFoundBesideAKnownOne) {
    qds::plat::LibHandle lib = qds::plat::LoadLib(TEST_ADDON_FILE);
    ASSERT_NE(nullptr, lib) << TEST_ADDON_FILE;
    void* known = qds::plat::GetSymbol(lib, "TestAddOnReset");
    ASSERT_NE(nullptr, known);
    EXPECT_EQ(qds::plat::GetSymbol(lib, "TestAddOnCallCount"),
              GetLoadedSymbol(TEST_ADDON_NAME, known, "TestAddOnCallCount"));
    EXPECT_EQ(nullptr, GetLoadedSymbol(TEST_ADDON_NAME, known, "NoSuchExport"));
    EXPECT_EQ(nullptr, GetLoadedSymbol(TEST_ADDON_NAME, known, nullptr));
    qds::plat::FreeLib(lib);
}

TEST(DynlibTest, NothingIsLoadedToAnswer) {
    // A module that is not in the process: no export, and no load attempt that could find one.
    EXPECT_EQ(nullptr, GetLoadedSymbol("kolvex-no-such-module.dll", nullptr, "TestAddOnReset"));
}

TEST(DynlibTest, StdcallNamesAreDecoratedOnlyBy32BitWindows) {
    char buffer[32];
    const char* name = qds::plat::StdcallExportName("tvx_last_error", 8, buffer, sizeof buffer);
    ASSERT_NE(nullptr, name);
    const bool decorates =
        std::strcmp(qds::plat::SharedLibSuffix(), ".dll") == 0 && sizeof(void*) == 4;
    EXPECT_EQ(decorates ? std::string("_tvx_last_error@8") : std::string("tvx_last_error"), name);
    if (decorates) {
        EXPECT_EQ(nullptr, qds::plat::StdcallExportName("tvx_last_error", 8, buffer, 8));
    }
}

}  // namespace
