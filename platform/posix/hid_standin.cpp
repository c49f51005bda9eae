#include "platform/hid_standin.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace qds::plat {

namespace {

bool WaitFor(int fd, short events, uint32_t timeoutMs) {
    pollfd p = {fd, events, 0};
    for (;;) {
        const int rc = ::poll(&p, 1, static_cast<int>(timeoutMs));
        if (rc < 0 && errno == EINTR) continue;
        return rc > 0;
    }
}

}  // namespace

struct CHidStandIn::Impl {
    Impl(int listenFd, std::string path, uint32_t inBufferBytes)
        : listenFd(listenFd), path(std::move(path)), inBuffer(inBufferBytes) {}
    ~Impl() {
        if (conn >= 0) ::close(conn);
        ::close(listenFd);
        ::unlink(path.c_str());
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    const int listenFd;  // the SOCK_SEQPACKET socket bound at `path`
    const std::string path;
    const uint32_t inBuffer;
    int conn = -1;  // the device side's connection; -1 while unplugged
};

CHidStandIn::CHidStandIn(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

CHidStandIn::~CHidStandIn() = default;

bool CHidStandIn::Accept(uint32_t timeoutMs) {
    Impl& s = *m_impl;
    if (s.conn >= 0) return true;
    if (!WaitFor(s.listenFd, POLLIN, timeoutMs)) return false;
    s.conn = ::accept4(s.listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (s.conn >= 0 && s.inBuffer > 0) {
        const int size = static_cast<int>(s.inBuffer);
        ::setsockopt(s.conn, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    return s.conn >= 0;
}

bool CHidStandIn::SendReport(const uint8_t* report, uint32_t size) {
    if (m_impl->conn < 0) return false;
    return ::send(m_impl->conn, report, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
}

int32_t CHidStandIn::ReceiveReport(uint8_t* buffer, uint32_t size, uint32_t timeoutMs) {
    const int conn = m_impl->conn;
    if (conn < 0 || !WaitFor(conn, POLLIN, timeoutMs)) return -1;
    const ssize_t n = ::recv(conn, buffer, size, 0);
    return n < 0 ? -1 : static_cast<int32_t>(n);
}

void CHidStandIn::Unplug() {
    if (m_impl->conn >= 0) ::close(m_impl->conn);
    m_impl->conn = -1;
}

std::unique_ptr<CHidStandIn> CHidStandIn::Create(const std::string& node, uint32_t inBufferBytes) {
    sockaddr_un addr{};
    if (node.size() >= sizeof(addr.sun_path)) return nullptr;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, node.c_str(), node.size() + 1);
    ::unlink(node.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 4) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<Impl> impl(new (std::nothrow) Impl(fd, node, inBufferBytes));
    if (impl == nullptr) {
        ::close(fd);
        ::unlink(node.c_str());
        return nullptr;
    }
    // Without memory for the object the Impl closes and removes the node as it goes.
    return std::unique_ptr<CHidStandIn>(new (std::nothrow) CHidStandIn(std::move(impl)));
}

}  // namespace qds::plat
