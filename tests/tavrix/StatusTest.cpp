// The status callback (tvx_register_status) on a serial channel over a real pseudo-terminal,
// and the export as a host finds it in the built library.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "Receiver.h"
#include "framework/TavrixExt.h"
#include "platform/dynlib.h"
#include "platform/process.h"
#include "platform/pty.h"
#include "tavrix/Api.h"

namespace {

using tvxtest::StatusLog;

TEST(SerialStatus, LostAndBackInOrderAndNothingAfterClose) {
    qds::plat::CPtyMaster pty;
    if (!pty.Open()) GTEST_SKIP() << "no pseudo-terminals on this system";
    const std::string link =
        "tavrix-status-" + std::to_string(qds::plat::CurrentProcessId()) + ".tty";
    ASSERT_TRUE(qds::plat::ReplaceSymlink(pty.SlavePath(), link));
    TVX_HANDLE h = qds::tvx::OpenTransport(qds::tvx::MakeSerialTransportAt(link, 9600));
    ASSERT_NE(h, nullptr);
    StatusLog status;
    ASSERT_EQ(qds::tvx::RegisterStatus(h, &StatusLog::Notify, &status), 0);
    for (int round = 0; round < 2; ++round) {
        pty.Close();  // the device goes away
        qds::plat::RemoveFile(link);
        ASSERT_TRUE(status.WaitCount(2 * round + 1));
        ASSERT_TRUE(pty.Open());  // and comes back under the same name
        ASSERT_TRUE(qds::plat::ReplaceSymlink(pty.SlavePath(), link));
        ASSERT_TRUE(status.WaitCount(2 * round + 2));
    }
    EXPECT_EQ(status.Events(), (std::vector<int32_t>{TVX_STATUS_LOST, TVX_STATUS_BACK,
                                                     TVX_STATUS_LOST, TVX_STATUS_BACK}));
    EXPECT_EQ(qds::tvx::Close(h), 0);
    status.MarkClosed();
    pty.Close();
    qds::plat::RemoveFile(link);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(status.CalledAfterClose());
    EXPECT_EQ(status.Events().size(), 4u);
}

#ifdef TAVRIX_LIBRARY_FILE
// A host looks the export up by name in the loaded framework; a null or unknown handle is
// refused with -1.
TEST(StatusExport, TheBuiltLibraryOffersIt) {
    qds::plat::LibHandle lib = qds::plat::LoadLib(TAVRIX_LIBRARY_FILE);
    ASSERT_NE(lib, nullptr);
    using Fn = int32_t(KX_STDCALL*)(TVX_HANDLE, TVX_STATUS_NOTIFY, void*);
    auto reg = reinterpret_cast<Fn>(qds::plat::GetSymbol(lib, TVX_REGISTER_STATUS_NAME));
    ASSERT_NE(reg, nullptr);
    int dummy = 0;
    EXPECT_EQ(reg(nullptr, &StatusLog::Notify, nullptr), -1);
    EXPECT_EQ(reg(&dummy, &StatusLog::Notify, nullptr), -1);
    qds::plat::FreeLib(lib);
}
#endif

}  // namespace
