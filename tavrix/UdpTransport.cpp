// "udp": one socket bound to Local, sending to Remote, taking datagrams from Remote alone
// unless AcceptFrom is "any".
#include <map>

#include "platform/sync.h"
#include "platform/text.h"
#include "platform/udp.h"
#include "tavrix/LastError.h"
#include "tavrix/Params.h"
#include "tavrix/Transport.h"

namespace qds::tvx {

namespace {

// Defaults when neither the parameters nor the registry name the addresses: we listen on
// every interface at 9101 and talk to a scanner at 127.0.0.1:9100.
constexpr const char* kDefaultLocal = "0.0.0.0:9101";
constexpr const char* kDefaultRemote = "127.0.0.1:9100";
// The largest payload of an IPv4 UDP datagram.
constexpr uint32_t kMaxDatagram = 65507;
static_assert(kReadBufferSize >= kMaxDatagram, "a datagram is read whole");

class CUdpTransport : public ITransport {
  public:
    CUdpTransport(std::string local, std::string remote, bool onlyFromRemote)
        : m_local(std::move(local)),
          m_remote(std::move(remote)),
          m_onlyFromRemote(onlyFromRemote) {}
    bool Open() override {
        if (m_sock.Open(m_local, m_remote, m_onlyFromRemote)) return true;
        SetLastReason("udp: bind failed on " + m_local + " (remote " + m_remote +
                      "): " + m_sock.OpenErrorText());
        return false;
    }
    void Close() override { m_sock.Close(); }
    int32_t Read(uint8_t* buf, uint32_t size) override {
        return m_sock.Read(buf, size, plat::kInfinite);
    }
    int32_t Write(const uint8_t* data, uint32_t length, uint32_t) override {
        if (length > kMaxDatagram) return -1;
        return m_sock.Write(data, length);
    }
    // Datagrams are handed on as they come; the framework holds nothing back to clear.
    void Clear() override {}
    void Interrupt() override { m_sock.Interrupt(); }
    uint32_t OsWord() const override { return m_sock.OsHandle(); }

  private:
    const std::string m_local;
    const std::string m_remote;
    const bool m_onlyFromRemote;
    plat::CUdpSocket m_sock;
};

// Parameters first, then the registry, then the default.
std::string Pick(const std::map<std::string, std::string>& kv, const char* key, const char* regName,
                 const char* fallback) {
    auto it = kv.find(key);
    if (it != kv.end()) return it->second;
    std::string v = ReadTavrixValue("udp", regName);
    return v.empty() ? std::string(fallback) : v;
}

}  // namespace

std::unique_ptr<ITransport> MakeUdpTransport(const wchar_t* params) {
    std::map<std::string, std::string> kv;
    if (params != nullptr && !ParseParams(params, &kv)) {
        SetLastReason("udp: malformed parameters \"" + Narrow(params) +
                      "\" (want \"local=HOST:PORT;remote=HOST:PORT\")");
        return nullptr;
    }
    const std::string local = Pick(kv, "local", "Local", kDefaultLocal);
    const std::string remote = Pick(kv, "remote", "Remote", kDefaultRemote);
    uint32_t host;
    uint16_t port;
    if (!plat::ParseUdpAddress(local, &host, &port)) {
        SetLastReason("udp: malformed local address \"" + local + "\" (want HOST:PORT)");
        return nullptr;
    }
    if (!plat::ParseUdpAddress(remote, &host, &port) || port == 0) {
        SetLastReason("udp: malformed remote address \"" + remote +
                      "\" (want HOST:PORT, port not 0)");
        return nullptr;
    }
    // Only the scanner may send scans: anyone else who can reach the port could inject them.
    const std::string acceptFrom = Pick(kv, "acceptfrom", "AcceptFrom", "remote");
    bool onlyFromRemote;
    if (plat::AsciiEqualNoCase(acceptFrom, "any")) {
        onlyFromRemote = false;
    } else if (plat::AsciiEqualNoCase(acceptFrom, "remote")) {
        onlyFromRemote = true;
    } else {
        SetLastReason("udp: malformed parameters: AcceptFrom \"" + acceptFrom +
                      "\" (want \"any\" or \"remote\")");
        return nullptr;
    }
    return std::make_unique<CUdpTransport>(local, remote, onlyFromRemote);
}

}  // namespace qds::tvx
