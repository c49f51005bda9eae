#include "platform/posix/fdwait.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/sync.h"

namespace qds::plat::posix {

bool MakeWakePipe(int fds[2]) {
    fds[0] = fds[1] = -1;
    return pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0;
}

void CloseWakePipe(int fds[2]) {
    for (int i = 0; i < 2; ++i) {
        if (fds[i] >= 0) close(fds[i]);
        fds[i] = -1;
    }
}

void WakeUp(const int fds[2]) {
    if (fds[1] < 0) return;
    const char b = 1;
    ssize_t rc;
    do {
        rc = write(fds[1], &b, 1);
    } while (rc < 0 && errno == EINTR);
}

FdWait WaitFd(int fd, short events, const int wake[2], uint32_t timeoutMs) {
    pollfd p[2] = {{fd, events, 0}, {wake[0], POLLIN, 0}};
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

}  // namespace qds::plat::posix
