#include "platform/udp.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h must come before windows.h
#include <windows.h>

#include <new>

namespace qds::plat {

namespace {

struct UdpImpl {
    SOCKET sock = INVALID_SOCKET;
    HANDLE netEvent = nullptr;   // signalled by WSAEventSelect on FD_READ
    HANDLE wakeEvent = nullptr;  // auto reset: Interrupt
    sockaddr_in peer{};
    bool wsaStarted = false;
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
    WSADATA data;
    impl->wsaStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    impl->netEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    impl->wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

CUdpSocket::~CUdpSocket() {
    Close();
    auto* impl = Impl(m_impl);
    if (impl->netEvent) CloseHandle(impl->netEvent);
    if (impl->wakeEvent) CloseHandle(impl->wakeEvent);
    if (impl->wsaStarted) WSACleanup();
    impl->~UdpImpl();
}

bool CUdpSocket::Open(const std::string& local, const std::string& remote) {
    Close();
    auto* impl = Impl(m_impl);
    uint32_t lh = 0, rh = 0;
    uint16_t lp = 0, rp = 0;
    if (!impl->wsaStarted || !impl->netEvent) return false;
    if (!ParseUdpAddress(local, &lh, &lp)) return false;
    if (!ParseUdpAddress(remote, &rh, &rp) || rp == 0) return false;
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return false;
    const sockaddr_in la = MakeAddr(lh, lp);
    if (bind(s, reinterpret_cast<const sockaddr*>(&la), sizeof la) != 0 ||
        WSAEventSelect(s, impl->netEvent, FD_READ) != 0) {
        closesocket(s);
        return false;
    }
    // Without this a refused send makes the next receive fail with WSAECONNRESET.
    BOOL off = FALSE;
    DWORD ret = 0;
    WSAIoctl(s, _WSAIOW(IOC_VENDOR, 12), &off, sizeof off, nullptr, 0, &ret, nullptr, nullptr);
    impl->sock = s;
    impl->peer = MakeAddr(rh, rp);
    return true;
}

void CUdpSocket::Close() {
    auto* impl = Impl(m_impl);
    if (impl->sock != INVALID_SOCKET) closesocket(impl->sock);
    impl->sock = INVALID_SOCKET;
}

bool CUdpSocket::IsOpen() const {
    return Impl(m_impl)->sock != INVALID_SOCKET;
}

uint32_t CUdpSocket::OsHandle() const {
    const SOCKET s = Impl(m_impl)->sock;
    return s == INVALID_SOCKET ? 0 : static_cast<uint32_t>(s);
}

uint16_t CUdpSocket::LocalPort() const {
    const SOCKET s = Impl(m_impl)->sock;
    if (s == INVALID_SOCKET) return 0;
    sockaddr_in a{};
    int len = sizeof a;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

int32_t CUdpSocket::Read(uint8_t* buf, uint32_t size, uint32_t timeoutMs) {
    auto* impl = Impl(m_impl);
    if (impl->sock == INVALID_SOCKET || buf == nullptr) return -1;
    for (;;) {
        const int n = recv(impl->sock, reinterpret_cast<char*>(buf),
                           size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size), 0);
        if (n >= 0) return n;
        const int err = WSAGetLastError();
        if (err == WSAECONNRESET || err == WSAEMSGSIZE) return 0;
        if (err != WSAEWOULDBLOCK) return -1;
        ResetEvent(impl->netEvent);
        // Re-arm: a datagram that came between recv and the reset must not be missed.
        WSAEventSelect(impl->sock, impl->netEvent, FD_READ);
        HANDLE waits[2] = {impl->netEvent, impl->wakeEvent};
        const DWORD w = WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
        if (w != WAIT_OBJECT_0) return w == WAIT_FAILED ? -1 : 0;
    }
}

int32_t CUdpSocket::Write(const uint8_t* data, uint32_t length) {
    auto* impl = Impl(m_impl);
    if (impl->sock == INVALID_SOCKET || (data == nullptr && length > 0)) return -1;
    const int n = sendto(impl->sock, reinterpret_cast<const char*>(data), static_cast<int>(length),
                         0, reinterpret_cast<const sockaddr*>(&impl->peer), sizeof impl->peer);
    return n == static_cast<int>(length) ? n : -1;
}

void CUdpSocket::Interrupt() {
    auto* impl = Impl(m_impl);
    if (impl->wakeEvent) SetEvent(impl->wakeEvent);
}

}  // namespace qds::plat
