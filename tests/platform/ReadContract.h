// The read contract that serial ports, pseudo-terminals and UDP sockets share: the count read,
// 0 on time-out or Interrupt, -1 when closed or when the other side went away.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "platform/sync.h"

namespace platformtest {

inline const uint8_t* U(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

using ReadFn = std::function<int32_t(uint8_t*, uint32_t, uint32_t)>;

// Reads until `want` bytes came or a read returned <= 0.
inline std::string ReadSome(const ReadFn& read, size_t want) {
    std::string got;
    uint8_t buf[256];
    while (got.size() < want) {
        const int32_t n = read(buf, sizeof buf, 10000);
        if (n <= 0) break;
        got.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
    }
    return got;
}

// A Read waiting returns 0 once another thread calls Interrupt; an Interrupt that comes first
// makes the next Read return at once. Either way it returns well before its own time-out.
inline void ExpectInterruptEndsRead(const ReadFn& read, const std::function<void()>& interrupt) {
    qds::plat::CEvent reading(true, false), done(true, false);
    int32_t result = 99;
    std::thread reader([&] {
        uint8_t buf[16];
        reading.Set();
        result = read(buf, sizeof buf, 120000);
        done.Set();
    });
    EXPECT_EQ(reading.Wait(30000), qds::plat::WaitResult::Signaled);
    interrupt();
    EXPECT_EQ(done.Wait(30000), qds::plat::WaitResult::Signaled) << "Interrupt did not end Read";
    reader.join();
    EXPECT_EQ(result, 0);
}

}  // namespace platformtest
