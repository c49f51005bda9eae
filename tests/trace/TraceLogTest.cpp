#include <gtest/gtest.h>

#include "trace/TraceLog.h"

namespace {

TEST(TraceLevelNames, EveryNameIsNineCharacters) {
    for (int level = -3; level < 12; ++level)
        EXPECT_EQ(std::string(qds::CTraceLog::LevelName(level)).size(), 9u) << level;
    EXPECT_STREQ(qds::CTraceLog::LevelName(2), "[Error]  ");
    EXPECT_STREQ(qds::CTraceLog::LevelName(7), "[UnKnow] ");
}

}  // namespace

#include "tests/support/TraceCapture.h"

namespace {
TEST(TraceCaptureSeam, CapturesEnterAndExitLines) {
    testing_support::TraceCapture cap;
    { qds::CTraceScope scope("Outer", 7); }
    const auto m = cap.Messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0], "Outer value:7 [Enter] {");
    EXPECT_EQ(m[1], "Outer [Exit]  }");
}
}  // namespace
