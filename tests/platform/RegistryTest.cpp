// Registry reads through the platform layer, with values set by the test writer: the .reg
// file on POSIX, the real registry on Windows (Wine in CI).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/registry.h"
#include "platform/registry_testing.h"

namespace {

using namespace qds::plat;
using qds::plat::testing::CScopedRegistry;

const char* const kTop = "SOFTWARE\\KolvexTest";
const char* const kKey = "SOFTWARE\\KolvexTest\\Values";

std::string Utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

class Registry : public ::testing::TestWithParam<RegView> {
  protected:
    CScopedRegistry m_reg{{{RegView::View32, kTop}, {RegView::View64, kTop}}};
    RegView View() const { return GetParam(); }
};

struct KeyGuard {
    RegHandle h = nullptr;
    ~KeyGuard() {
        if (h != nullptr) RegClose(h);
    }
};

TEST_P(Registry, ValuesReadBackAsWindowsGivesThem) {
    ASSERT_TRUE(m_reg.SetString(View(), kKey, "Text", "abc"));
    ASSERT_TRUE(m_reg.SetDword(View(), kKey, "Number", 0x01020304u));
    KeyGuard key;
    ASSERT_TRUE(RegOpen(RegRootLocalMachine(), kKey, View(), &key.h));

    const struct {
        const char* name;
        bool wide;
        uint32_t buffer;
        bool ok;
        uint32_t size;
        std::string bytes;
        uint32_t type;
    } cases[] = {
        {"Text", false, 16, true, 4, std::string("abc\0", 4), kRegSz},
        {"Text", false, 4, true, 4, std::string("abc\0", 4), kRegSz},
        {"Text", false, 3, false, 4, "", kRegSz},
        {"Text", true, 16, true, 8, Utf16(std::string("abc\0", 4)), kRegSz},
        {"Text", true, 7, false, 8, "", kRegSz},
        {"Number", false, 4, true, 4, "\x04\x03\x02\x01", kRegDword},
        {"Number", true, 4, true, 4, "\x04\x03\x02\x01", kRegDword},
        {"Number", true, 3, false, 4, "", kRegDword},
        {"NUMBER", true, 4, true, 4, "\x04\x03\x02\x01", kRegDword},
        {"text", false, 16, true, 4, std::string("abc\0", 4), kRegSz},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.wide ? " wide " : " 8-bit ") +
                     std::to_string(c.buffer));
        char buf[32];
        std::memset(buf, 0x55, sizeof buf);
        uint32_t size = c.buffer;
        uint32_t type = 0;
        const bool ok = c.wide ? RegQueryW(key.h, c.name, buf, &size, &type)
                               : RegQueryA(key.h, c.name, buf, &size, &type);
        ASSERT_EQ(ok, c.ok);
        EXPECT_EQ(size, c.size);
        if (c.ok) {
            EXPECT_EQ(std::string(buf, size), c.bytes);
            EXPECT_EQ(type, c.type);
            EXPECT_EQ(static_cast<unsigned char>(buf[size]), 0x55u);  // nothing past the data
        }
    }
}

TEST_P(Registry, SizeQueryWithoutBufferReportsTheSize) {
    ASSERT_TRUE(m_reg.SetString(View(), kKey, "Text", "hello"));
    KeyGuard key;
    ASSERT_TRUE(RegOpen(RegRootLocalMachine(), kKey, View(), &key.h));
    uint32_t size = 0;
    ASSERT_TRUE(RegQueryA(key.h, "Text", nullptr, &size, nullptr));
    EXPECT_EQ(size, 6u);
    size = 0;
    ASSERT_TRUE(RegQueryW(key.h, "Text", nullptr, &size, nullptr));
    EXPECT_EQ(size, 12u);
}

TEST_P(Registry, MissingThingsAreNotFound) {
    ASSERT_TRUE(m_reg.SetDword(View(), kKey, "Number", 1));
    KeyGuard key;
    EXPECT_FALSE(RegOpen(RegRootLocalMachine(), "SOFTWARE\\KolvexTest\\Nope", View(), &key.h));
    EXPECT_EQ(key.h, nullptr);
    ASSERT_TRUE(RegOpen(RegRootLocalMachine(), kKey, View(), &key.h));
    char buf[8];
    uint32_t size = sizeof buf;
    EXPECT_FALSE(RegQueryA(key.h, "Absent", buf, &size, nullptr));
    size = sizeof buf;
    EXPECT_FALSE(RegQueryW(key.h, "Absent", buf, &size, nullptr));
    size = sizeof buf;
    EXPECT_FALSE(RegQueryA(nullptr, "Number", buf, &size, nullptr));
    EXPECT_FALSE(RegQueryA(key.h, "Number", buf, nullptr, nullptr));
    RegClose(nullptr);  // harmless
}

TEST_P(Registry, KeysOpenCaseInsensitivelyAndBelowAnOpenedKey) {
    ASSERT_TRUE(m_reg.SetDword(View(), kKey, "Number", 7));
    KeyGuard parent, child, upper;
    ASSERT_TRUE(RegOpen(RegRootLocalMachine(), kTop, View(), &parent.h));  // only implied
    ASSERT_TRUE(RegOpen(parent.h, "values", View(), &child.h));
    ASSERT_TRUE(RegOpen(RegRootLocalMachine(), "software\\KOLVEXTEST\\VALUES", View(), &upper.h));
    for (RegHandle h : {child.h, upper.h}) {
        int32_t v = 0;
        uint32_t size = sizeof v;
        ASSERT_TRUE(RegQueryW(h, "Number", &v, &size, nullptr));
        EXPECT_EQ(v, 7);
    }
}

TEST_P(Registry, DeletedValuesAndKeysAreGone) {
    ASSERT_TRUE(m_reg.SetDword(View(), kKey, "A", 1));
    ASSERT_TRUE(m_reg.SetDword(View(), kKey, "B", 2));
    ASSERT_TRUE(m_reg.SetDword(View(), kKey, "B", 3));  // replaced
    ASSERT_TRUE(m_reg.DeleteValue(View(), kKey, "A"));
    ASSERT_TRUE(m_reg.DeleteValue(View(), kKey, "A"));  // already gone: fine
    {
        KeyGuard key;
        ASSERT_TRUE(RegOpen(RegRootLocalMachine(), kKey, View(), &key.h));
        int32_t v = 0;
        uint32_t size = sizeof v;
        EXPECT_FALSE(RegQueryW(key.h, "A", &v, &size, nullptr));
        size = sizeof v;
        ASSERT_TRUE(RegQueryW(key.h, "B", &v, &size, nullptr));
        EXPECT_EQ(v, 3);
    }
    ASSERT_TRUE(m_reg.DeleteKey(View(), kTop));
    KeyGuard key;
    EXPECT_FALSE(RegOpen(RegRootLocalMachine(), kKey, View(), &key.h));
    EXPECT_FALSE(RegOpen(RegRootLocalMachine(), kTop, View(), &key.h));
}

INSTANTIATE_TEST_SUITE_P(Views, Registry, ::testing::Values(RegView::View32, RegView::View64),
                         [](const ::testing::TestParamInfo<RegView>& i) {
                             return i.param == RegView::View32 ? std::string("View32")
                                                               : std::string("View64");
                         });

}  // namespace
