// Waiting on a file descriptor together with a wake-up pipe (POSIX implementations only).
#pragma once

#include <cstdint>

namespace qds::plat::posix {

// Creates a non-blocking, close-on-exec pipe. False on failure.
bool MakeWakePipe(int fds[2]);
void CloseWakePipe(int fds[2]);
// Writes one byte to the pipe (a full pipe is already awake).
void WakeUp(const int fds[2]);

enum class FdWait { Ready, Timeout, Woken, Failed };
// Waits until fd has the events in `events` (POLLIN/POLLOUT) or the pipe is written to.
// A wake-up drains the pipe. A hang-up or error on fd counts as Ready for input, so the
// following read reports it.
FdWait WaitFd(int fd, short events, const int wake[2], uint32_t timeoutMs);

}  // namespace qds::plat::posix
