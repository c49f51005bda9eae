// HID device I/O on Windows: SetupAPI lists the HID interfaces, CreateFileW opens one for
// overlapped I/O, and each report moves with one overlapped ReadFile or WriteFile.
#include "platform/hid_device.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include <new>

namespace qds::plat {

namespace {

// GUID_DEVINTERFACE_HID.
const GUID kHidInterfaceGuid = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// Room for a path of 261 characters and its terminator after the detail record's size field.
constexpr DWORD kDetailBufferBytes = 528;

class CWinHidDevice final : public CHidDevice {
  public:
    CWinHidDevice(HANDLE device, HANDLE stopEvent, HANDLE readEvent, HANDLE writeEvent)
        : m_hDevice(device),
          m_hStopEvent(stopEvent),
          m_hReadEvent(readEvent),
          m_hWriteEvent(writeEvent) {}
    ~CWinHidDevice() override {
        if (m_hDevice != INVALID_HANDLE_VALUE) CloseHandle(m_hDevice);
        CloseHandle(m_hWriteEvent);
        CloseHandle(m_hReadEvent);
        CloseHandle(m_hStopEvent);
    }

    HidIo ReadReport(uint8_t* report, uint32_t& count) override {
        count = 0;
        ZeroMemory(&m_ovRead, sizeof m_ovRead);
        m_ovRead.hEvent = m_hReadEvent;
        DWORD got = 0;
        if (ReadFile(m_hDevice, report, kHidReportSize, &got, &m_ovRead)) {
            count = got;
            return HidIo::Done;
        }
        if (GetLastError() != ERROR_IO_PENDING) return HidIo::Failed;
        // The stop event comes first in the list, so it wins when both are signalled.
        const HANDLE waits[2] = {m_hStopEvent, m_hReadEvent};
        const DWORD rc = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (rc == WAIT_OBJECT_0) {
            CancelIo(m_hDevice);
            GetOverlappedResult(m_hDevice, &m_ovRead, &got, TRUE);
            return HidIo::Stopped;
        }
        if (rc != WAIT_OBJECT_0 + 1) return HidIo::Failed;
        if (!GetOverlappedResult(m_hDevice, &m_ovRead, &got, FALSE)) return HidIo::Failed;
        count = got;
        return HidIo::Done;
    }

    void RequestStop() override { SetEvent(m_hStopEvent); }

    HidIo WriteReport(const uint8_t* report, uint32_t& count, uint32_t timeoutMs) override {
        count = 0;
        ZeroMemory(&m_ovWrite, sizeof m_ovWrite);
        m_ovWrite.hEvent = m_hWriteEvent;
        DWORD put = 0;
        if (WriteFile(m_hDevice, report, kHidReportSize, &put, &m_ovWrite)) {
            count = put;
            return HidIo::Done;
        }
        if (GetLastError() != ERROR_IO_PENDING) return HidIo::Failed;
        WaitForSingleObject(m_hWriteEvent, timeoutMs);
        if (GetOverlappedResult(m_hDevice, &m_ovWrite, &put, FALSE)) {
            count = put;
            return HidIo::Done;
        }
        if (GetLastError() != ERROR_IO_INCOMPLETE) return HidIo::Failed;
        CancelIo(m_hDevice);
        if (!GetOverlappedResult(m_hDevice, &m_ovWrite, &put, TRUE)) return HidIo::TimedOut;
        count = put;  // it completed just before the cancel
        return HidIo::Done;
    }

    void Close() override {
        if (m_hDevice != INVALID_HANDLE_VALUE) CloseHandle(m_hDevice);
        m_hDevice = INVALID_HANDLE_VALUE;
        MarkClosed();
    }

  private:
    HANDLE m_hDevice;
    const HANDLE m_hStopEvent;   // manual reset: once set, every later read stops
    const HANDLE m_hReadEvent;   // manual reset, completion of m_ovRead
    const HANDLE m_hWriteEvent;  // manual reset, completion of m_ovWrite
    OVERLAPPED m_ovRead{};
    OVERLAPPED m_ovWrite{};
};

}  // namespace

void ListHidInterfacePaths(HidPathVisitor visit, void* context) {
    if (visit == nullptr) return;
    HDEVINFO set = SetupDiGetClassDevsW(&kHidInterfaceGuid, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA iface{};
        iface.cbSize = sizeof iface;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kHidInterfaceGuid, index, &iface)) break;
        alignas(8) unsigned char buffer[kDetailBufferBytes] = {};
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer);
        // The fixed part of the record as the running target sizes it (6 on 32-bit, 8 on 64-bit).
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        // A failure ends the whole walk; later members are not looked at.
        if (!SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, kDetailBufferBytes, nullptr,
                                              nullptr))
            break;
        buffer[kDetailBufferBytes - 2] = 0;  // the path always ends inside the buffer
        buffer[kDetailBufferBytes - 1] = 0;
        if (!visit(detail->DevicePath, context)) break;
    }
    SetupDiDestroyDeviceInfoList(set);
}

std::unique_ptr<CHidDevice> OpenHidDevice(const wchar_t* path) {
    if (path == nullptr) return nullptr;
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE read = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE write = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE device = INVALID_HANDLE_VALUE;
    if (stop != nullptr && read != nullptr && write != nullptr) {
        device = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    }
    CWinHidDevice* result = nullptr;
    if (device != INVALID_HANDLE_VALUE)
        result = new (std::nothrow) CWinHidDevice(device, stop, read, write);
    if (result == nullptr) {
        if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
        if (write != nullptr) CloseHandle(write);
        if (read != nullptr) CloseHandle(read);
        if (stop != nullptr) CloseHandle(stop);
    }
    return std::unique_ptr<CHidDevice>(result);
}

}  // namespace qds::plat
