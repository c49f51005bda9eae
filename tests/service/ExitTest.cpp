// A process that exits without Close while the framework's receive thread keeps calling back
// (ExitWithoutCloseChild): it exits cleanly, every time. Under ASan a late callback that
// touched the destroyed service object, its FIFO or the trace log would fail the child.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/process.h"

namespace {

TEST(ExitWithoutClose, LateCallbacksTouchNothingDestroyed) {
    const std::string log =
        "/tmp/kolvex_exit_child_" + std::to_string(qds::plat::CurrentProcessId()) + ".log";
    const std::string command = std::string("\"") + EXIT_CHILD_FILE + "\" \"" + log + "\"";
    for (int run = 0; run < 5; ++run) {
        SCOPED_TRACE(run);
        EXPECT_EQ(0, std::system(command.c_str()));
    }
    std::remove(log.c_str());
}

}  // namespace
