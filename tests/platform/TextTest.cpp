// ASCII case folding: only A-Z fold, whatever the locale and whatever lies next to them in
// the code table.
#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace {

using qds::plat::AsciiEqualNoCase;
using qds::plat::AsciiLower;

TEST(AsciiLower, FoldsOnlyTheAsciiCapitals) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"COM", "com"},
        {"Baud", "baud"},
        {"AZaz09_-", "azaz09_-"},
        {"@[`{", "@[`{"},          // the neighbours of A-Z and a-z stay
        {"\xC4\xD6", "\xC4\xD6"},  // Latin-1 capitals are not ASCII
        {std::string("A\0B", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) EXPECT_EQ(AsciiLower(c.in), c.out) << c.in;
}

TEST(AsciiEqualNoCase, ComparesWithoutRegardToAsciiCase) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"", "", true},
        {"udp", "UDP", true},
        {"HKEY_LOCAL_MACHINE", "hkey_local_machine", true},
        {"Software\\Tavrix", "SOFTWARE\\TAVRIX", true},
        {"COM", "COM1", false},
        {"COM1", "COM", false},
        {"", "a", false},
        {"[", "{", false},  // differ by the case bit, but are not letters
        {"@", "`", false},
        {"\xC4", "\xE4", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AsciiEqualNoCase(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(AsciiEqualNoCase(c.b, c.a), c.same) << c.b << " / " << c.a;
    }
}

}  // namespace
