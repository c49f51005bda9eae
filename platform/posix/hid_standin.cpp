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

class CSeqpacketStandIn final : public CHidStandIn {
  public:
    CSeqpacketStandIn(int listenFd, std::string path, uint32_t inBufferBytes)
        : m_listen(listenFd), m_path(std::move(path)), m_inBuffer(inBufferBytes) {}
    ~CSeqpacketStandIn() override {
        Unplug();
        ::close(m_listen);
        ::unlink(m_path.c_str());
    }

    bool Accept(uint32_t timeoutMs) override {
        if (m_conn >= 0) return true;
        if (!WaitFor(m_listen, POLLIN, timeoutMs)) return false;
        m_conn = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (m_conn >= 0 && m_inBuffer > 0) {
            const int size = static_cast<int>(m_inBuffer);
            ::setsockopt(m_conn, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        }
        return m_conn >= 0;
    }

    bool SendReport(const uint8_t* report, uint32_t size) override {
        if (m_conn < 0) return false;
        return ::send(m_conn, report, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
    }

    int32_t ReceiveReport(uint8_t* buffer, uint32_t size, uint32_t timeoutMs) override {
        if (m_conn < 0 || !WaitFor(m_conn, POLLIN, timeoutMs)) return -1;
        const ssize_t n = ::recv(m_conn, buffer, size, 0);
        return n < 0 ? -1 : static_cast<int32_t>(n);
    }

    void Unplug() override {
        if (m_conn >= 0) ::close(m_conn);
        m_conn = -1;
    }

  private:
    const int m_listen;
    const std::string m_path;
    const uint32_t m_inBuffer;
    int m_conn = -1;
};

}  // namespace

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
    auto* standIn = new (std::nothrow) CSeqpacketStandIn(fd, node, inBufferBytes);
    if (standIn == nullptr) {
        ::close(fd);
        ::unlink(node.c_str());
    }
    return std::unique_ptr<CHidStandIn>(standIn);
}

}  // namespace qds::plat
