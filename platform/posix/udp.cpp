#include "platform/udp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/posix/fdwait.h"

namespace qds::plat {

namespace {

struct UdpImpl {
    int fd = -1;
    int wake[2] = {-1, -1};
    sockaddr_in peer{};
};
static_assert(sizeof(UdpImpl) <= 96);

UdpImpl* Impl(unsigned char* s) {
    return std::launder(reinterpret_cast<UdpImpl*>(s));
}
const UdpImpl* Impl(const unsigned char* s) {
    return std::launder(reinterpret_cast<const UdpImpl*>(s));
}

sockaddr_in MakeAddr(uint32_t host, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(host);
    a.sin_port = htons(port);
    return a;
}

}  // namespace

CUdpSocket::CUdpSocket() {
    auto* impl = new (m_impl) UdpImpl;
    posix::MakeWakePipe(impl->wake);
}

CUdpSocket::~CUdpSocket() {
    Close();
    auto* impl = Impl(m_impl);
    posix::CloseWakePipe(impl->wake);
    impl->~UdpImpl();
}

bool CUdpSocket::Open(const std::string& local, const std::string& remote) {
    Close();
    auto* impl = Impl(m_impl);
    uint32_t lh = 0, rh = 0;
    uint16_t lp = 0, rp = 0;
    if (!ParseUdpAddress(local, &lh, &lp)) return false;
    if (!ParseUdpAddress(remote, &rh, &rp) || rp == 0) return false;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const sockaddr_in la = MakeAddr(lh, lp);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&la), sizeof la) != 0) {
        close(fd);
        return false;
    }
    impl->fd = fd;
    impl->peer = MakeAddr(rh, rp);
    return true;
}

void CUdpSocket::Close() {
    auto* impl = Impl(m_impl);
    if (impl->fd >= 0) close(impl->fd);
    impl->fd = -1;
}

bool CUdpSocket::IsOpen() const {
    return Impl(m_impl)->fd >= 0;
}

uint32_t CUdpSocket::OsHandle() const {
    const int fd = Impl(m_impl)->fd;
    return fd >= 0 ? static_cast<uint32_t>(fd) : 0;
}

uint16_t CUdpSocket::LocalPort() const {
    const int fd = Impl(m_impl)->fd;
    if (fd < 0) return 0;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

int32_t CUdpSocket::Read(uint8_t* buf, uint32_t size, uint32_t timeoutMs) {
    auto* impl = Impl(m_impl);
    if (impl->fd < 0 || buf == nullptr) return -1;
    switch (posix::WaitFd(impl->fd, POLLIN, impl->wake, timeoutMs)) {
        case posix::FdWait::Timeout:
        case posix::FdWait::Woken:
            return 0;
        case posix::FdWait::Failed:
            return -1;
        case posix::FdWait::Ready:
            break;
    }
    const ssize_t n = recv(impl->fd, buf, size > 0x7FFFFFFF ? 0x7FFFFFFF : size, 0);
    if (n < 0) {
        // A refused earlier send shows up here on Linux; the socket itself is fine.
        return (errno == EAGAIN || errno == EINTR || errno == ECONNREFUSED) ? 0 : -1;
    }
    return static_cast<int32_t>(n);
}

int32_t CUdpSocket::Write(const uint8_t* data, uint32_t length) {
    auto* impl = Impl(m_impl);
    if (impl->fd < 0 || (data == nullptr && length > 0)) return -1;
    const ssize_t n = sendto(impl->fd, data, length, 0,
                             reinterpret_cast<const sockaddr*>(&impl->peer), sizeof impl->peer);
    return n == static_cast<ssize_t>(length) ? static_cast<int32_t>(n) : -1;
}

void CUdpSocket::Interrupt() {
    posix::WakeUp(Impl(m_impl)->wake);
}

}  // namespace qds::plat
