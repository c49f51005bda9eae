#include "platform/udp.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h must come before windows.h
#include <windows.h>

#include <atomic>

#include "platform/udp_address.h"
#include "platform/win32/iowait.h"

namespace qds::plat {

struct CUdpSocket::Impl {
    // Winsock stays started for the object's lifetime.
    bool wsaStarted = Startup();
    SOCKET sock = INVALID_SOCKET;
    HANDLE netEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // WSAEventSelect: FD_READ
    win32::CWakeEvent wake;                                         // Interrupt
    sockaddr_in peer{};
    bool onlyFromPeer = false;
    std::atomic<uint64_t> dropped{0};

    ~Impl() {
        if (sock != INVALID_SOCKET) closesocket(sock);
        if (netEvent) CloseHandle(netEvent);
        if (wsaStarted) WSACleanup();
    }
    static bool Startup() {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
};

CUdpSocket::CUdpSocket() : m_impl(new Impl) {}

CUdpSocket::~CUdpSocket() = default;

bool CUdpSocket::Open(const std::string& local, const std::string& remote, bool onlyFromPeer) {
    Close();
    m_errorText.clear();
    Impl& u = *m_impl;
    sockaddr_in la{}, peer{};
    if (!u.wsaStarted || !u.netEvent) {
        m_errorText = "Winsock not started";
        return false;
    }
    if (!UdpEndpoints(local, remote, &la, &peer)) {
        m_errorText = "malformed address";
        return false;
    }
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        m_errorText = win32::OsErrorText(static_cast<DWORD>(WSAGetLastError()));
        return false;
    }
    if (bind(s, reinterpret_cast<const sockaddr*>(&la), sizeof la) != 0 ||
        WSAEventSelect(s, u.netEvent, FD_READ) != 0) {
        m_errorText = win32::OsErrorText(static_cast<DWORD>(WSAGetLastError()));
        closesocket(s);
        return false;
    }
    // Without this a refused send makes the next receive fail with WSAECONNRESET.
    BOOL off = FALSE;
    DWORD ret = 0;
    WSAIoctl(s, _WSAIOW(IOC_VENDOR, 12), &off, sizeof off, nullptr, 0, &ret, nullptr, nullptr);
    u.sock = s;
    u.peer = peer;
    u.onlyFromPeer = onlyFromPeer;
    u.dropped.store(0);
    return true;
}

void CUdpSocket::Close() {
    if (m_impl->sock != INVALID_SOCKET) closesocket(m_impl->sock);
    m_impl->sock = INVALID_SOCKET;
}

bool CUdpSocket::IsOpen() const {
    return m_impl->sock != INVALID_SOCKET;
}

uint32_t CUdpSocket::OsHandle() const {
    const SOCKET s = m_impl->sock;
    return s == INVALID_SOCKET ? 0 : static_cast<uint32_t>(s);
}

uint16_t CUdpSocket::LocalPort() const {
    const SOCKET s = m_impl->sock;
    if (s == INVALID_SOCKET) return 0;
    sockaddr_in a{};
    int len = sizeof a;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

int32_t CUdpSocket::Read(uint8_t* buf, uint32_t size, uint32_t timeoutMs) {
    Impl& u = *m_impl;
    if (u.sock == INVALID_SOCKET || buf == nullptr) return -1;
    for (;;) {
        sockaddr_in from{};
        int fromLen = sizeof from;
        const int n = recvfrom(u.sock, reinterpret_cast<char*>(buf),
                               size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size), 0,
                               reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n >= 0) {
            if (u.onlyFromPeer &&
                (from.sin_family != AF_INET || from.sin_addr.s_addr != u.peer.sin_addr.s_addr ||
                 from.sin_port != u.peer.sin_port)) {
                u.dropped.fetch_add(1);
                return 0;
            }
            return n;
        }
        const int err = WSAGetLastError();
        // WSAEMSGSIZE: larger than buf; the rest is lost, so none of it is handed on.
        if (err == WSAECONNRESET || err == WSAEMSGSIZE) return 0;
        if (err != WSAEWOULDBLOCK) return -1;
        ResetEvent(u.netEvent);
        // Re-arm: a datagram that came between recv and the reset must not be missed.
        WSAEventSelect(u.sock, u.netEvent, FD_READ);
        switch (u.wake.WaitFor(u.netEvent, timeoutMs)) {
            case win32::IoWait::Ready:
                break;
            case win32::IoWait::Failed:
                return -1;
            case win32::IoWait::Timeout:
            case win32::IoWait::Woken:
                return 0;
        }
    }
}

uint64_t CUdpSocket::DroppedCount() const {
    return m_impl->dropped.load();
}

int32_t CUdpSocket::Write(const uint8_t* data, uint32_t length) {
    const Impl& u = *m_impl;
    if (u.sock == INVALID_SOCKET || (data == nullptr && length > 0)) return -1;
    const int n = sendto(u.sock, reinterpret_cast<const char*>(data), static_cast<int>(length), 0,
                         reinterpret_cast<const sockaddr*>(&u.peer), sizeof u.peer);
    return n == static_cast<int>(length) ? n : -1;
}

void CUdpSocket::Interrupt() {
    m_impl->wake.Set();
}

}  // namespace qds::plat
