// "COM" with "com=N;baud=B".
//
// Frames by silence: a scanner sends a label as one burst, but the OS hands it over in pieces
// (a byte at a time at 9600 baud, or every 16 ms from a USB-serial adapter). Text framings
// take each piece as a frame, so the channel collects a burst and hands it on once the line
// has been quiet for the frame gap.
#include <map>

#include "platform/serial.h"
#include "platform/sync.h"
#include "tavrix/LastError.h"
#include "tavrix/Params.h"
#include "tavrix/Transport.h"

namespace qds::tvx {

namespace {

constexpr uint32_t kMaxComPort = 256;
// What a USB-serial adapter holds bytes for before forwarding them (FTDI's default latency
// timer; CP210x and CH340 forward sooner), and one more such interval of margin for a late
// wake-up on either side of the line.
constexpr uint32_t kAdapterIntervalMs = 16;
constexpr uint32_t kSchedulingMarginMs = 16;
constexpr uint32_t kGapCharacters = 4;
// A read on Windows ends after 1 s without bytes (its total time-out), which ends a burst too.
constexpr uint32_t kMaxFrameGapMs = 1000;

class CSerialTransport : public ITransport {
  public:
    CSerialTransport(std::string name, std::string path, uint32_t baud, uint32_t gapMs)
        : m_name(std::move(name)), m_path(std::move(path)), m_baud(baud), m_gapMs(gapMs) {}

    bool Open() override {
        if (m_port.Open(m_path.c_str(), m_baud)) return true;
        SetLastReason(Reason());
        return false;
    }
    void Close() override { m_port.Close(); }
    // Blocks until bytes come, the port goes away or Interrupt (no polling), then collects
    // until the line has been quiet for the gap or the burst is kMaxSerialFrame long.
    int32_t Read(uint8_t* buf, uint32_t size) override {
        const int32_t first = m_port.Read(buf, size, plat::kInfinite);
        if (first <= 0 || m_gapMs == 0) return first;
        const uint32_t limit = size < kMaxSerialFrame ? size : kMaxSerialFrame;
        uint32_t got = static_cast<uint32_t>(first);
        while (got < limit) {
            const int32_t n = m_port.Read(buf + got, limit - got, m_gapMs);
            // Quiet for the gap, or Interrupt: the burst is over. A failure is reported by
            // the next Read, after what came before it has been handed on.
            if (n <= 0) break;
            got += static_cast<uint32_t>(n);
        }
        return static_cast<int32_t>(got);
    }
    int32_t Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) override {
        return m_port.Write(data, length, timeoutMs);
    }
    void Clear() override { m_port.Purge(); }
    void Interrupt() override { m_port.Interrupt(); }
    uint32_t OsWord() const override { return m_port.OsHandle(); }

  private:
    std::string Reason() const {
        const std::string os = m_port.OpenErrorText();
        const std::string tail = os.empty() ? std::string() : ": " + os;
        switch (m_port.OpenError()) {
            case plat::SerialOpenError::NoSuchDevice:
                return m_name + ": no such device " + m_path + tail;
            case plat::SerialOpenError::PermissionDenied:
                return m_name + ": permission denied on " + m_path + tail;
            case plat::SerialOpenError::InUse:
                return m_name + ": port in use: " + m_path +
                       " is held by another program or channel" + tail;
            case plat::SerialOpenError::BaudNotSupported:
                return m_name + ": baud rate " + std::to_string(m_baud) + " not supported on " +
                       m_path + tail;
            case plat::SerialOpenError::None:
            case plat::SerialOpenError::Failed:
                break;
        }
        return m_name + ": cannot open " + m_path + tail;
    }

    const std::string m_name;  // as the user configured it: "COM3", or the path
    const std::string m_path;
    const uint32_t m_baud;
    const uint32_t m_gapMs;
    plat::CSerialPort m_port;
};

std::string PortPath(uint32_t port) {
    const std::string name = "COM" + std::to_string(port);
    return plat::SerialPortPath(port, ReadTavrixValue("COM", name.c_str()));
}

}  // namespace

uint32_t DefaultFrameGapMs(uint32_t baud) {
    if (baud == 0) baud = 1;
    // 10 bits a character, rounded up to whole milliseconds.
    const uint64_t chars = (uint64_t{kGapCharacters} * 10 * 1000 + baud - 1) / baud;
    return kAdapterIntervalMs + kSchedulingMarginMs + static_cast<uint32_t>(chars);
}

std::unique_ptr<ITransport> MakeSerialTransport(const wchar_t* params) {
    std::map<std::string, std::string> kv;
    if (params == nullptr || !ParseParams(params, &kv) || kv.count("com") == 0 ||
        kv.count("baud") == 0) {
        SetLastReason("COM: malformed parameters \"" + (params ? Narrow(params) : "(null)") +
                      "\" (want \"com=N;baud=B\")");
        return nullptr;
    }
    uint32_t port = 0, baud = 0;
    if (!ParseDecimal(kv["com"], &port) || !ParseDecimal(kv["baud"], &baud)) {
        SetLastReason("COM: malformed parameters \"" + Narrow(params) +
                      "\" (com and baud are decimal numbers)");
        return nullptr;
    }
    if (port == 0 || port > kMaxComPort) {
        SetLastReason("COM: port number " + std::to_string(port) + " out of range (1 to " +
                      std::to_string(kMaxComPort) + ")");
        return nullptr;
    }
    if (baud == 0) {
        SetLastReason("COM" + std::to_string(port) + ": baud rate 0 not supported");
        return nullptr;
    }
    uint32_t gapMs = 0;
    if (!ReadTavrixDword("COM", "FrameGapMs", &gapMs)) gapMs = DefaultFrameGapMs(baud);
    if (gapMs > kMaxFrameGapMs) gapMs = kMaxFrameGapMs;
    return std::make_unique<CSerialTransport>("COM" + std::to_string(port), PortPath(port), baud,
                                              gapMs);
}

std::unique_ptr<ITransport> MakeSerialTransportAt(const std::string& path, uint32_t baud,
                                                  uint32_t frameGapMs) {
    if (frameGapMs == kDefaultFrameGap) frameGapMs = DefaultFrameGapMs(baud);
    return std::make_unique<CSerialTransport>("serial port", path, baud, frameGapMs);
}

}  // namespace qds::tvx
