// What a HidPosDevice needs of an open HID interface: whole reports in and out, a stop for the
// reader, a close. The plug-in drives the platform's CHidDevice through it; the tests put a
// scripted device in its place.
//
// Thread rules as for plat::CHidDevice: one thread reads, one thread at a time writes;
// RequestStop and IsOpen from any thread at any time; Close overlaps no read or write.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/hid_device.h"

namespace qds::hid {

class IHidReportDevice {
  public:
    IHidReportDevice() = default;
    virtual ~IHidReportDevice() = default;
    IHidReportDevice(const IHidReportDevice&) = delete;
    IHidReportDevice& operator=(const IHidReportDevice&) = delete;

    virtual bool IsOpen() const = 0;
    virtual plat::HidIo ReadReport(uint8_t* report, uint32_t& count) = 0;
    virtual void RequestStop() = 0;
    virtual plat::HidIo WriteReport(const uint8_t* report, uint32_t& count, uint32_t timeoutMs) = 0;
    virtual void Close() = 0;
};

// Opens `path` through the platform layer. Null on any failure.
std::unique_ptr<IHidReportDevice> OpenHidReportDevice(const wchar_t* path);

}  // namespace qds::hid
