// One byte transport of a channel: serial port, UDP socket or HID plug-in device.
//
// Threads: the channel's receive thread alone calls Open, Close and Read; Write and Clear come
// from any thread, serialised by the channel and never overlapping Open or Close; Interrupt
// may come from any thread at any time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qds::tvx {

class ITransport {
  public:
    virtual ~ITransport() = default;
    // (Re)opens the device. False while it is not there.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    // Count read (> 0); 0 when nothing came within the transport's wait or Interrupt was
    // called; -1 when the device failed or went away (the channel then closes and reopens it).
    virtual int32_t Read(uint8_t* buf, uint32_t size) = 0;
    virtual int32_t Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) = 0;
    virtual void Clear() = 0;
    virtual void Interrupt() = 0;
    // The channel word: the OS handle of the open device, 0 when there is none.
    virtual uint32_t OsWord() const = 0;
    // True when Write and Clear may run at any time, also while the receive thread opens,
    // closes or reads: the transport keeps its device alive for a call still running, so the
    // channel holds no lock of its own across a write or a clear that may wait.
    virtual bool GuardsItself() const { return false; }
};

// Each returns null when the parameters are unusable (the device itself may be absent; Open
// tells).
std::unique_ptr<ITransport> MakeSerialTransport(const wchar_t* params);
std::unique_ptr<ITransport> MakeUdpTransport(const wchar_t* params);
std::unique_ptr<ITransport> MakeHidTransport(const wchar_t* params);

// The channel's read buffer: a whole UDP datagram (65,507 bytes at most) fits.
constexpr uint32_t kReadBufferSize = 65536;
// A serial burst this long is handed on without waiting for the line to fall quiet.
constexpr uint32_t kMaxSerialFrame = 8192;
// frameGapMs of MakeSerialTransportAt: the default for the baud rate.
constexpr uint32_t kDefaultFrameGap = 0xFFFFFFFF;
// The default frame gap: a USB-serial adapter's 16 ms forwarding interval, a margin for the
// host's scheduling, and four character times at baud.
uint32_t DefaultFrameGapMs(uint32_t baud);

// The same with the configured parts given directly (the registry is not read). Serial:
// bytes are handed on once the line has been quiet for frameGapMs (0: each read at once).
std::unique_ptr<ITransport> MakeSerialTransportAt(const std::string& path, uint32_t baud,
                                                  uint32_t frameGapMs = kDefaultFrameGap);
// Null when the library cannot be loaded or its table is missing or of the wrong size.
// paramsNull: PlugOpen gets a null parameter string.
std::unique_ptr<ITransport> MakeHidTransportFrom(const std::string& plugInPath,
                                                 const std::wstring& params, bool paramsNull);

}  // namespace qds::tvx
