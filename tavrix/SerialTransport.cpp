// "COM" with "com=N;baud=B".
#include <map>

#include "platform/serial.h"
#include "platform/sync.h"
#include "tavrix/Params.h"
#include "tavrix/Transport.h"

namespace qds::tvx {

namespace {

constexpr uint32_t kMaxComPort = 256;

class CSerialTransport : public ITransport {
  public:
    CSerialTransport(std::string path, uint32_t baud) : m_path(std::move(path)), m_baud(baud) {}
    bool Open() override { return m_port.Open(m_path.c_str(), m_baud); }
    void Close() override { m_port.Close(); }
    // Blocks until bytes come, the port goes away or Interrupt: no polling.
    int32_t Read(uint8_t* buf, uint32_t size) override {
        return m_port.Read(buf, size, plat::kInfinite);
    }
    int32_t Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) override {
        return m_port.Write(data, length, timeoutMs);
    }
    void Clear() override { m_port.Purge(); }
    void Interrupt() override { m_port.Interrupt(); }
    uint32_t OsWord() const override { return m_port.OsHandle(); }

  private:
    const std::string m_path;
    const uint32_t m_baud;
    plat::CSerialPort m_port;
};

std::string PortPath(uint32_t port) {
    const std::string name = "COM" + std::to_string(port);
    return plat::SerialPortPath(port, ReadTavrixValue("COM", name.c_str()));
}

}  // namespace

std::unique_ptr<ITransport> MakeSerialTransport(const wchar_t* params) {
    if (params == nullptr) return nullptr;
    std::map<std::string, std::string> kv;
    if (!ParseParams(params, &kv) || kv.count("com") == 0 || kv.count("baud") == 0) {
        return nullptr;
    }
    uint32_t port = 0, baud = 0;
    if (!ParseDecimal(kv["com"], &port) || port == 0 || port > kMaxComPort ||
        !ParseDecimal(kv["baud"], &baud) || baud == 0) {
        return nullptr;
    }
    return MakeSerialTransportAt(PortPath(port), baud);
}

std::unique_ptr<ITransport> MakeSerialTransportAt(const std::string& path, uint32_t baud) {
    return std::make_unique<CSerialTransport>(path, baud);
}

}  // namespace qds::tvx
