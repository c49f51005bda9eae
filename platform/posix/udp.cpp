#include "platform/udp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/posix/fdwait.h"
#include "platform/udp_address.h"

namespace qds::plat {

struct CUdpSocket::Impl : posix::WakeableFd {
    sockaddr_in peer{};
};

CUdpSocket::CUdpSocket() : m_impl(new Impl) {}

CUdpSocket::~CUdpSocket() = default;

bool CUdpSocket::Open(const std::string& local, const std::string& remote) {
    Close();
    sockaddr_in la{}, peer{};
    if (!UdpEndpoints(local, remote, &la, &peer)) return false;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&la), sizeof la) != 0) {
        close(fd);
        return false;
    }
    m_impl->fd = fd;
    m_impl->peer = peer;
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
    return m_impl->Read(posix::FdKind::Datagram, buf, size, timeoutMs);
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
