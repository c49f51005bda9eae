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
    virtual ~CHidStandIn() = default;

    // Waits up to timeoutMs for the device side to connect. True once connected.
    virtual bool Accept(uint32_t timeoutMs) = 0;
    // Sends one report (one message) of `size` bytes to the device side.
    virtual bool SendReport(const uint8_t* report, uint32_t size) = 0;
    // Receives one report written by the device side, waiting up to timeoutMs. Its size, or -1
    // on time-out or error.
    virtual int32_t ReceiveReport(uint8_t* buffer, uint32_t size, uint32_t timeoutMs) = 0;
    // Drops the connection, as when the scanner is unplugged.
    virtual void Unplug() = 0;

    // The node's name as the device side opens it: a file path on Linux, \\.\pipe\NAME on
    // Windows. `inBufferBytes` sizes the buffer of reports written toward the stand-in (0: the
    // system's default), which is how a test makes writes stall.
    static std::unique_ptr<CHidStandIn> Create(const std::string& node, uint32_t inBufferBytes);
};

}  // namespace qds::plat
