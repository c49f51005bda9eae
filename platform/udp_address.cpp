// Address parsing shared by both socket implementations.
#include "platform/udp_address.h"

// sockaddr_in is the same structure on both systems; only its header differs.
#if defined(_WIN32)
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include "platform/udp.h"

namespace qds::plat {

bool ParseUdpAddress(const std::string& text, uint32_t* hostOrder, uint16_t* port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || hostOrder == nullptr || port == nullptr) return false;
    const std::string host = text.substr(0, colon);
    const std::string portText = text.substr(colon + 1);
    if (portText.empty() || portText.size() > 5) return false;
    uint32_t p = 0;
    for (char c : portText) {
        if (c < '0' || c > '9') return false;
        p = p * 10 + static_cast<uint32_t>(c - '0');
    }
    if (p > 65535) return false;
    uint32_t addr = 0;
    if (!host.empty()) {
        int parts = 0;
        size_t i = 0;
        while (parts < 4) {
            uint32_t v = 0;
            size_t digits = 0;
            while (i < host.size() && host[i] >= '0' && host[i] <= '9' && digits < 4) {
                v = v * 10 + static_cast<uint32_t>(host[i] - '0');
                ++i;
                ++digits;
            }
            if (digits == 0 || digits > 3 || v > 255) return false;
            addr = (addr << 8) | v;
            ++parts;
            if (parts < 4) {
                if (i >= host.size() || host[i] != '.') return false;
                ++i;
            }
        }
        if (i != host.size()) return false;
    }
    *hostOrder = addr;
    *port = static_cast<uint16_t>(p);
    return true;
}

namespace {

sockaddr_in MakeAddr(uint32_t host, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(host);
    a.sin_port = htons(port);
    return a;
}

}  // namespace

bool UdpEndpoints(const std::string& local, const std::string& remote, sockaddr_in* localAddr,
                  sockaddr_in* peer) {
    uint32_t lh = 0, rh = 0;
    uint16_t lp = 0, rp = 0;
    if (!ParseUdpAddress(local, &lh, &lp)) return false;
    if (!ParseUdpAddress(remote, &rh, &rp) || rp == 0) return false;
    *localAddr = MakeAddr(lh, lp);
    *peer = MakeAddr(rh, rp);
    return true;
}

}  // namespace qds::plat
