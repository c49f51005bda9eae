#include "platform/posix/fdwait.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/sync.h"

namespace qds::plat::posix {

namespace {

enum class FdWait { Ready, Timeout, Woken, Failed };

// Waits until fd has input or the pipe is written to; a wake-up drains the pipe. A hang-up or
// error on fd counts as Ready, so the read that follows reports it.
FdWait WaitReadable(int fd, const int wake[2], uint32_t timeoutMs) {
    pollfd p[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
    const int timeout = timeoutMs == kInfinite ? -1 : static_cast<int>(timeoutMs & 0x7FFFFFFF);
    int rc;
    do {
        rc = poll(p, wake[0] >= 0 ? 2 : 1, timeout);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) return FdWait::Failed;
    if (rc == 0) return FdWait::Timeout;
    if (p[1].revents & POLLIN) {
        char buf[64];
        while (read(wake[0], buf, sizeof buf) > 0) {
        }
        return FdWait::Woken;
    }
    if (p[0].revents & POLLNVAL) return FdWait::Failed;
    return FdWait::Ready;
}

}  // namespace

WakeableFd::WakeableFd() {
    if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) wake[0] = wake[1] = -1;
}

WakeableFd::~WakeableFd() {
    Close();
    for (int& end : wake) {
        if (end >= 0) close(end);
        end = -1;
    }
}

void WakeableFd::Close() {
    if (fd >= 0) close(fd);
    fd = -1;
}

void WakeableFd::Wake() const {
    if (wake[1] < 0) return;
    const char b = 1;
    ssize_t rc;
    do {
        rc = write(wake[1], &b, 1);
    } while (rc < 0 && errno == EINTR);
}

int32_t WakeableFd::WaitReady(uint32_t timeoutMs) {
    if (fd < 0) return -1;
    switch (WaitReadable(fd, wake, timeoutMs)) {
        case FdWait::Timeout:
        case FdWait::Woken:
            return 0;
        case FdWait::Failed:
            return -1;
        case FdWait::Ready:
            break;
    }
    return 1;
}

int32_t WakeableFd::Read(FdKind kind, uint8_t* buf, uint32_t size, uint32_t timeoutMs) {
    if (fd < 0 || buf == nullptr) return -1;
    if (size == 0 && kind == FdKind::Stream) return 0;
    const int32_t ready = WaitReady(timeoutMs);
    if (ready <= 0) return ready;
    const size_t want = size > 0x7FFFFFFF ? 0x7FFFFFFF : size;
    if (kind == FdKind::Datagram) {
        const ssize_t n = recv(fd, buf, want, 0);
        if (n >= 0) return static_cast<int32_t>(n);
        // A refused earlier send shows up here on Linux; the socket itself is fine.
        return (errno == EAGAIN || errno == EINTR || errno == ECONNREFUSED) ? 0 : -1;
    }
    const ssize_t n = read(fd, buf, want);
    if (n > 0) return static_cast<int32_t>(n);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    return -1;  // end of file (the other side hung up) or an I/O error
}

std::string ErrnoText(int err) {
    char buf[256] = {};
    // The GNU strerror_r may return a static text instead of filling buf.
    const char* text = strerror_r(err, buf, sizeof buf);
    return text != nullptr ? std::string(text) : "error " + std::to_string(err);
}

}  // namespace qds::plat::posix
