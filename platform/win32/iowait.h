// What the serial port and the UDP socket share on Windows: the auto-reset event that
// Interrupt sets, and one wait on an I/O event together with it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace qds::plat::win32 {

enum class IoWait { Ready, Timeout, Woken, Failed };

// Threads: one thread may WaitFor while others Set.
class CWakeEvent {
  public:
    CWakeEvent() : m_handle(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~CWakeEvent();
    CWakeEvent(const CWakeEvent&) = delete;
    CWakeEvent& operator=(const CWakeEvent&) = delete;

    bool Valid() const { return m_handle != nullptr; }
    // Makes a WaitFor that is waiting (or the next one) return Woken at once.
    void Set() const;
    // Waits up to timeoutMs (kInfinite: no limit) for `io` (an event the I/O signals) or a
    // wake-up.
    IoWait WaitFor(HANDLE io, uint32_t timeoutMs) const;

  private:
    HANDLE m_handle;
};

// The system's text for an error code (GetLastError, WSAGetLastError), without the line end.
std::string OsErrorText(DWORD code);

}  // namespace qds::plat::win32
