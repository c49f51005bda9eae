// What serial ports, UDP sockets and pseudo-terminal masters share on POSIX: a non-blocking
// descriptor, a wake-up pipe that Interrupt writes to, and one wait-then-read over both.
#pragma once

#include <cstdint>
#include <string>

namespace qds::plat::posix {

// How a read that found the descriptor ready is judged.
enum class FdKind {
    Stream,    // end of file means the other side hung up: the port is gone
    Datagram,  // an empty datagram or a refused earlier send is nothing to read
};

// Threads: one thread may Read while others call Wake; Close must not overlap Read.
struct WakeableFd {
    int fd = -1;
    int wake[2] = {-1, -1};

    WakeableFd();   // creates the wake-up pipe
    ~WakeableFd();  // closes the descriptor and the pipe
    WakeableFd(const WakeableFd&) = delete;
    WakeableFd& operator=(const WakeableFd&) = delete;

    bool IsOpen() const { return fd >= 0; }
    // The descriptor as the OS word a caller may log; 0 when closed.
    uint32_t OsWord() const { return fd >= 0 ? static_cast<uint32_t>(fd) : 0; }
    void Close();
    // Makes a Read that is waiting (or the next one) return 0 at once. A full pipe is already
    // awake.
    void Wake() const;
    // Waits up to timeoutMs (kInfinite: no limit) for input on fd or a wake-up, then reads
    // once. Returns the count read (> 0); 0 on time-out, wake-up, nothing pending or size 0
    // (Stream), or as FdKind says; -1 when closed, buf is null, or fd failed.
    int32_t Read(FdKind kind, uint8_t* buf, uint32_t size, uint32_t timeoutMs);
    // The wait of Read alone: 1 when fd has input (or failed: the read that follows tells),
    // 0 on time-out or wake-up, -1 when closed or the wait itself failed.
    int32_t WaitReady(uint32_t timeoutMs);
};

// The text of an errno value, as the C library words it.
std::string ErrnoText(int err);

}  // namespace qds::plat::posix
