#include "hid_plugin/HidReportDevice.h"

#include <new>

namespace qds::hid {

namespace {

// The platform's device as the plug-in's device object drives it.
class CPlatformHidDevice final : public IHidReportDevice {
  public:
    explicit CPlatformHidDevice(std::unique_ptr<plat::CHidDevice> device)
        : m_hDevice(std::move(device)) {}

    bool IsOpen() const override { return m_hDevice->IsOpen(); }
    plat::HidIo ReadReport(uint8_t* report, uint32_t& count) override {
        return m_hDevice->ReadReport(report, count);
    }
    void RequestStop() override { m_hDevice->RequestStop(); }
    plat::HidIo WriteReport(const uint8_t* report, uint32_t& count, uint32_t timeoutMs) override {
        return m_hDevice->WriteReport(report, count, timeoutMs);
    }
    void Close() override { m_hDevice->Close(); }

  private:
    const std::unique_ptr<plat::CHidDevice> m_hDevice;
};

}  // namespace

std::unique_ptr<IHidReportDevice> OpenHidReportDevice(const wchar_t* path) {
    std::unique_ptr<plat::CHidDevice> device = plat::OpenHidDevice(path);
    if (device == nullptr) return nullptr;
    return std::unique_ptr<IHidReportDevice>(new (std::nothrow)
                                                 CPlatformHidDevice(std::move(device)));
}

}  // namespace qds::hid
