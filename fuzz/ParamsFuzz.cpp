// The framework's parameter strings ("key=value;...") and its UDP addresses ("a.b.c.d:port"),
// as an application or a registry value may write them.
//
// Input: byte 0 chooses how the rest is read: as a parameter string (wide characters taken
// two bytes each, or one byte each), as a decimal number, or as one or two addresses split
// at the first NUL.
#include <netinet/in.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/udp.h"
#include "platform/udp_address.h"
#include "tavrix/Params.h"

namespace {

void CheckParams(const std::wstring& text) {
    std::map<std::string, std::string> out;
    if (!qds::tvx::ParseParams(text, &out)) return;
    for (const auto& [key, value] : out) {
        FUZZ_CHECK(!key.empty());
        FUZZ_CHECK(key.find_first_of(";=") == std::string::npos);
        FUZZ_CHECK(value.find(';') == std::string::npos);
        for (char c : key) FUZZ_CHECK(!(c >= 'A' && c <= 'Z'));  // keys are lower case
    }
}

void CheckAddress(const std::string& text) {
    uint32_t host = 0;
    uint16_t port = 0;
    if (!qds::plat::ParseUdpAddress(text, &host, &port)) return;
    // What was accepted reads back the same from its canonical form.
    char canonical[32];
    std::snprintf(canonical, sizeof canonical, "%u.%u.%u.%u:%u", host >> 24, (host >> 16) & 0xFF,
                  (host >> 8) & 0xFF, host & 0xFF, port);
    uint32_t host2 = 1;
    uint16_t port2 = 1;
    FUZZ_CHECK(qds::plat::ParseUdpAddress(canonical, &host2, &port2));
    FUZZ_CHECK(host2 == host && port2 == port);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
        case 0: {
            std::wstring w;
            for (size_t i = 0; i + 1 < rest.size(); i += 2)
                w.push_back(static_cast<wchar_t>(static_cast<uint8_t>(rest[i]) |
                                                 (static_cast<uint8_t>(rest[i + 1]) << 8)));
            CheckParams(w);
            break;
        }
        case 1:
            CheckParams(qds::tvx::Widen(rest));
            break;
        case 2: {
            uint32_t v = 0;
            if (qds::tvx::ParseDecimal(rest, &v)) {
                FUZZ_CHECK(!rest.empty() && rest.size() <= 9);
                FUZZ_CHECK(rest.find_first_not_of("0123456789") == std::string::npos);
                FUZZ_CHECK(v == std::strtoul(rest.c_str(), nullptr, 10));
            }
            break;
        }
        case 3: {
            const size_t nul = rest.find('\0');
            const std::string local = rest.substr(0, nul);
            const std::string remote =
                nul == std::string::npos ? std::string() : rest.substr(nul + 1);
            CheckAddress(local);
            CheckAddress(remote);
            sockaddr_in a{}, b{};
            const bool ok = qds::plat::UdpEndpoints(local, remote, &a, &b);
            uint32_t h;
            uint16_t p;
            if (ok) FUZZ_CHECK(qds::plat::ParseUdpAddress(remote, &h, &p) && p != 0);
            break;
        }
    }
    return 0;
}
