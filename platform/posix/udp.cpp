#include "platform/udp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/posix/fdwait.h"
#include "platform/udp_address.h"

namespace qds::plat {

struct CUdpSocket::Impl : posix::WakeableFd {
    sockaddr_in peer{};
    bool onlyFromPeer = false;
    std::atomic<uint64_t> dropped{0};
};

CUdpSocket::CUdpSocket() : m_impl(new Impl) {}

CUdpSocket::~CUdpSocket() = default;

bool CUdpSocket::Open(const std::string& local, const std::string& remote, bool onlyFromPeer) {
    Close();
    m_errorText.clear();
    sockaddr_in la{}, peer{};
    if (!UdpEndpoints(local, remote, &la, &peer)) {
        m_errorText = "malformed address";
        return false;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_errorText = posix::ErrnoText(errno);
        return false;
    }
    if (bind(fd, reinterpret_cast<const sockaddr*>(&la), sizeof la) != 0) {
        m_errorText = posix::ErrnoText(errno);
        close(fd);
        return false;
    }
    m_impl->fd = fd;
    m_impl->peer = peer;
    m_impl->onlyFromPeer = onlyFromPeer;
    m_impl->dropped.store(0);
    return true;
}

void CUdpSocket::Close() {
    m_impl->Close();
}

bool CUdpSocket::IsOpen() const {
    return m_impl->IsOpen();
}

uint32_t CUdpSocket::OsHandle() const {
    return m_impl->OsWord();
}

uint16_t CUdpSocket::LocalPort() const {
    const int fd = m_impl->fd;
    if (fd < 0) return 0;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

int32_t CUdpSocket::Read(uint8_t* buf, uint32_t size, uint32_t timeoutMs) {
    Impl& s = *m_impl;
    if (s.fd < 0 || buf == nullptr) return -1;
    const int32_t ready = s.WaitReady(timeoutMs);
    if (ready <= 0) return ready;
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    const size_t want = size > 0x7FFFFFFF ? 0x7FFFFFFF : size;
    // MSG_TRUNC: the datagram's real length, so that one too large for buf is seen.
    const ssize_t n =
        recvfrom(s.fd, buf, want, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0) {
        // A refused earlier send shows up here on Linux; the socket itself is fine.
        return (errno == EAGAIN || errno == EINTR || errno == ECONNREFUSED) ? 0 : -1;
    }
    if (s.onlyFromPeer &&
        (from.sin_family != AF_INET || from.sin_addr.s_addr != s.peer.sin_addr.s_addr ||
         from.sin_port != s.peer.sin_port)) {
        s.dropped.fetch_add(1);
        return 0;
    }
    if (static_cast<size_t>(n) > want) return 0;  // cut: not what was sent
    return static_cast<int32_t>(n);
}

uint64_t CUdpSocket::DroppedCount() const {
    return m_impl->dropped.load();
}

int32_t CUdpSocket::Write(const uint8_t* data, uint32_t length) {
    const Impl& s = *m_impl;
    if (s.fd < 0 || (data == nullptr && length > 0)) return -1;
    const ssize_t n =
        sendto(s.fd, data, length, 0, reinterpret_cast<const sockaddr*>(&s.peer), sizeof s.peer);
    return n == static_cast<ssize_t>(length) ? static_cast<int32_t>(n) : -1;
}

void CUdpSocket::Interrupt() {
    m_impl->Wake();
}

}  // namespace qds::plat
