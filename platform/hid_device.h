// HID device I/O for the HID-POS plug-in: listing the present HID interfaces and moving whole
// 64-byte reports to and from one of them. Implemented with SetupAPI and overlapped file I/O
// on Win32, and with hidraw nodes found under sysfs on Linux.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace qds::plat {

// Every read and write moves one report of this size, the report id byte included.
constexpr uint32_t kHidReportSize = 64;

enum class HidIo {
    Done,      // the transfer ended; the count says how many bytes moved
    Failed,    // an I/O error, or the device went away
    Stopped,   // RequestStop ended the read
    TimedOut,  // a write stayed incomplete for its time-out and was cancelled
};

// Receives each present HID interface path, in the order the system lists them, as the system
// gave it. Returns false to end the walk.
using HidPathVisitor = bool (*)(const wchar_t* path, void* context);

// Walks the present HID device interfaces. A list that cannot be had is an empty walk.
//
// On Linux the paths have the Windows shape \\?\hid#vid_VVVV&pid_PPPP#hidrawN (four lower-case
// hex digits each, from HID_ID in the node's uevent), so one set of matching rules serves both
// systems. The sysfs root (default /sys) and the device folder (default /dev) can be replaced
// through the environment variables VANTREL_SYSFS_ROOT and VANTREL_DEV_DIR.
void ListHidInterfacePaths(HidPathVisitor visit, void* context);

// The serial number the system gives for the interface at `path`, as listed by
// ListHidInterfacePaths; empty when it has none or it cannot be had. Linux: HID_UNIQ of the
// node's uevent. Windows: not looked up (empty); the interface path identifies the device.
std::wstring HidSerialNumber(const wchar_t* path);

// One open HID interface. Thread rules: one thread reads (ReadReport), one thread at a time
// writes (WriteReport); RequestStop and IsOpen may be called from any thread at any time.
// Close must not overlap ReadReport or WriteReport.
class CHidDevice {
  public:
    ~CHidDevice();
    CHidDevice(const CHidDevice&) = delete;
    CHidDevice& operator=(const CHidDevice&) = delete;

    bool IsOpen() const { return m_bOpen.load(std::memory_order_acquire); }

    // Posts one read of a whole report into `report` (kHidReportSize bytes) and waits for it.
    // Done gives the byte count in `count`; Stopped when a stop was requested (the stop wins
    // over a completed read); Failed on any error, including the device being unplugged.
    HidIo ReadReport(uint8_t* report, uint32_t& count);

    // Makes the current and every later ReadReport return Stopped. Cannot be undone.
    void RequestStop();

    // Writes one report of kHidReportSize bytes. Done with the count written, Failed, or
    // TimedOut when it stayed incomplete for timeoutMs and was cancelled.
    HidIo WriteReport(const uint8_t* report, uint32_t& count, uint32_t timeoutMs);

    // Closes the OS handle. The object stays usable for IsOpen and RequestStop.
    void Close();

  private:
    struct Impl;  // the OS handles, defined per OS (platform/posix, platform/win32)
    explicit CHidDevice(std::unique_ptr<Impl> impl);
    friend std::unique_ptr<CHidDevice> OpenHidDevice(const wchar_t* path);

    const std::unique_ptr<Impl> m_impl;
    std::atomic<bool> m_bOpen{true};
};

// Opens a HID interface path for shared read and write. Null on any failure.
std::unique_ptr<CHidDevice> OpenHidDevice(const wchar_t* path);

}  // namespace qds::plat
