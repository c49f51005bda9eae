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
