// A serial port (or the slave side of a pseudo-terminal) as a raw byte stream.
//
// Threads: one thread may Read while others Write and Interrupt. Open and Close must not
// overlap a Read or Write on the same object; the caller serialises them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace qds::plat {

// Device path of COM port `port` (1 and up): "\\.\COMN" on Win32; on POSIX `mapped` when it
// is not empty (the configured path), else /dev/ttyS(N-1).
std::string SerialPortPath(uint32_t port, const std::string& mapped);

// Why the last Open failed.
enum class SerialOpenError {
    None,
    NoSuchDevice,
    PermissionDenied,
    InUse,  // another program or another open of this process holds it
    BaudNotSupported,
    Failed,  // anything else the OS refused
};

class CSerialPort {
  public:
    CSerialPort();
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens path ("\\.\COM3", "/dev/ttyS2") raw: baud, 8 data bits, no parity, 1 stop bit,
    // no flow control, for this object alone: no other program and no other CSerialPort may
    // hold it at the same time (on POSIX an advisory lock on the device plus TIOCEXCL, both
    // gone with the descriptor). False when the path cannot be opened, is held, or the baud
    // rate is not supported; OpenError and OpenErrorText then say why.
    bool Open(const char* path, uint32_t baud);
    SerialOpenError OpenError() const { return m_error; }
    // The OS's own words for the last failed Open ("" when it had none to give).
    const std::string& OpenErrorText() const { return m_errorText; }
    void Close();
    bool IsOpen() const;
    // The OS handle (file descriptor on POSIX, the HANDLE's value on Win32); 0 when closed.
    uint32_t OsHandle() const;

    // Waits up to timeoutMs (kInfinite: no limit) for bytes. Returns the count read (> 0),
    // 0 on time-out or Interrupt, -1 when the port failed or went away.
    int32_t Read(uint8_t* buf, uint32_t size, uint32_t timeoutMs);
    // Writes all bytes within timeoutMs. Returns the count written or -1.
    int32_t Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs);
    // Drops what is buffered in both directions.
    void Purge();
    // Makes a Read that is waiting (or the next one) return 0 at once.
    void Interrupt();

  private:
    bool Fail(SerialOpenError error, std::string text) {
        m_error = error;
        m_errorText = std::move(text);
        return false;
    }

    struct Impl;  // the OS's handle and wake-up, defined in posix/ and win32/
    std::unique_ptr<Impl> m_impl;
    SerialOpenError m_error = SerialOpenError::None;
    std::string m_errorText;
};

}  // namespace qds::plat
