#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "tavrix/LastError.h"

namespace qds::tvx {
namespace {

struct CopyCase {
    int32_t size;
    const char* expected;  // what the buffer holds afterwards
};

TEST(LastReason, CopiesTruncatedAndTerminatedAndReturnsTheFullLength) {
    const std::string reason = "/dev/ttyS41: No such file or directory";
    SetLastReason(reason);
    const CopyCase cases[] = {
        {1, ""},
        {2, "/"},
        {11, "/dev/ttyS4"},
        {static_cast<int32_t>(reason.size()), "/dev/ttyS41: No such file or director"},
        {static_cast<int32_t>(reason.size() + 1), reason.c_str()},
        {200, reason.c_str()},
    };
    for (const auto& c : cases) {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(CopyLastReason(buffer, c.size), static_cast<int32_t>(reason.size())) << c.size;
        EXPECT_STREQ(buffer, c.expected) << c.size;
    }
}

TEST(LastReason, NullOrEmptyBufferOnlyReportsTheLength) {
    SetLastReason("abc");
    char untouched = 'x';
    EXPECT_EQ(CopyLastReason(nullptr, 10), 3);
    EXPECT_EQ(CopyLastReason(&untouched, 0), 3);
    EXPECT_EQ(CopyLastReason(&untouched, -5), 3);
    EXPECT_EQ(untouched, 'x');
}

TEST(LastReason, BelongsToTheThreadThatFailed) {
    SetLastReason("main thread's reason");
    std::string seen = "unset";
    std::thread other([&] {
        seen = LastReason();
        SetLastReason("other thread's reason");
    });
    other.join();
    EXPECT_EQ(seen, "");
    EXPECT_EQ(LastReason(), "main thread's reason");
    ClearLastReason();
    char buffer[8] = "x";
    EXPECT_EQ(CopyLastReason(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
}  // namespace qds::tvx
