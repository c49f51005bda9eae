// The far end of a stand-in HID device, for tests and simulated scanners: a node that
// OpenHidDevice opens like a real HID interface and that moves whole 64-byte reports.
//
// Linux: a Unix SOCK_SEQPACKET socket bound at a file path inside the device folder (the
// backend connects to a socket where it would open a hidraw node). Windows: a message-mode
// named pipe, \\.\pipe\NAME, opened with CreateFileW like a HID interface.
//
// One thread at a time may use an object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qds::plat {

class CHidStandIn {
  public:
    // The node's name as the device side opens it: a file path on Linux, \\.\pipe\NAME on
    // Windows. `inBufferBytes` sizes the buffer of reports written toward the stand-in (0: the
    // system's default), which is how a test makes writes stall. Null on failure.
    static std::unique_ptr<CHidStandIn> Create(const std::string& node, uint32_t inBufferBytes);
    ~CHidStandIn();  // unplugs, and on Linux removes the node
    CHidStandIn(const CHidStandIn&) = delete;
    CHidStandIn& operator=(const CHidStandIn&) = delete;

    // Waits up to timeoutMs for the device side to connect. True once connected.
    bool Accept(uint32_t timeoutMs);
    // Sends one report (one message) of `size` bytes to the device side.
    bool SendReport(const uint8_t* report, uint32_t size);
    // Receives one report written by the device side, waiting up to timeoutMs. Its size, or -1
    // on time-out or error.
    int32_t ReceiveReport(uint8_t* buffer, uint32_t size, uint32_t timeoutMs);
    // Drops the connection, as when the scanner is unplugged.
    void Unplug();

  private:
    struct Impl;  // the listening socket or the pipe, defined per OS
    explicit CHidStandIn(std::unique_ptr<Impl> impl);

    const std::unique_ptr<Impl> m_impl;
};

}  // namespace qds::plat
