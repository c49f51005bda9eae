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

}  // namespace

struct CHidDevice::Impl {
    Impl(HANDLE device, HANDLE stopEvent, HANDLE readEvent, HANDLE writeEvent)
        : hDevice(device), hStopEvent(stopEvent), hReadEvent(readEvent), hWriteEvent(writeEvent) {}
    ~Impl() {
        if (hDevice != INVALID_HANDLE_VALUE) CloseHandle(hDevice);
        CloseHandle(hWriteEvent);
        CloseHandle(hReadEvent);
        CloseHandle(hStopEvent);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    HANDLE hDevice;
    const HANDLE hStopEvent;   // manual reset: once set, every later read stops
    const HANDLE hReadEvent;   // manual reset, completion of ovRead
    const HANDLE hWriteEvent;  // manual reset, completion of ovWrite
    OVERLAPPED ovRead{};
    OVERLAPPED ovWrite{};
};

CHidDevice::CHidDevice(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

CHidDevice::~CHidDevice() = default;

HidIo CHidDevice::ReadReport(uint8_t* report, uint32_t& count) {
    Impl& d = *m_impl;
    count = 0;
    ZeroMemory(&d.ovRead, sizeof d.ovRead);
    d.ovRead.hEvent = d.hReadEvent;
    DWORD got = 0;
    if (ReadFile(d.hDevice, report, kHidReportSize, &got, &d.ovRead)) {
        count = got;
        return HidIo::Done;
    }
    if (GetLastError() != ERROR_IO_PENDING) return HidIo::Failed;
    // The stop event comes first in the list, so it wins when both are signalled.
    const HANDLE waits[2] = {d.hStopEvent, d.hReadEvent};
    const DWORD rc = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (rc == WAIT_OBJECT_0) {
        CancelIo(d.hDevice);
        GetOverlappedResult(d.hDevice, &d.ovRead, &got, TRUE);
        return HidIo::Stopped;
    }
    if (rc != WAIT_OBJECT_0 + 1) return HidIo::Failed;
    if (!GetOverlappedResult(d.hDevice, &d.ovRead, &got, FALSE)) return HidIo::Failed;
    count = got;
    return HidIo::Done;
}

void CHidDevice::RequestStop() {
    SetEvent(m_impl->hStopEvent);
}

HidIo CHidDevice::WriteReport(const uint8_t* report, uint32_t& count, uint32_t timeoutMs) {
    Impl& d = *m_impl;
    count = 0;
    ZeroMemory(&d.ovWrite, sizeof d.ovWrite);
    d.ovWrite.hEvent = d.hWriteEvent;
    DWORD put = 0;
    if (WriteFile(d.hDevice, report, kHidReportSize, &put, &d.ovWrite)) {
        count = put;
        return HidIo::Done;
    }
    if (GetLastError() != ERROR_IO_PENDING) return HidIo::Failed;
    WaitForSingleObject(d.hWriteEvent, timeoutMs);
    if (GetOverlappedResult(d.hDevice, &d.ovWrite, &put, FALSE)) {
        count = put;
        return HidIo::Done;
    }
    if (GetLastError() != ERROR_IO_INCOMPLETE) return HidIo::Failed;
    CancelIo(d.hDevice);
    if (!GetOverlappedResult(d.hDevice, &d.ovWrite, &put, TRUE)) return HidIo::TimedOut;
    count = put;  // it completed just before the cancel
    return HidIo::Done;
}

void CHidDevice::Close() {
    if (m_impl->hDevice != INVALID_HANDLE_VALUE) CloseHandle(m_impl->hDevice);
    m_impl->hDevice = INVALID_HANDLE_VALUE;
    m_bOpen.store(false, std::memory_order_release);
}

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

std::wstring HidSerialNumber(const wchar_t*) {
    return std::wstring();
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
    std::unique_ptr<CHidDevice::Impl> impl;
    if (device != INVALID_HANDLE_VALUE)
        impl.reset(new (std::nothrow) CHidDevice::Impl(device, stop, read, write));
    if (impl == nullptr) {
        if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
        if (write != nullptr) CloseHandle(write);
        if (read != nullptr) CloseHandle(read);
        if (stop != nullptr) CloseHandle(stop);
        return nullptr;
    }
    // Without memory for the device object the Impl closes the handles as it goes.
    return std::unique_ptr<CHidDevice>(new (std::nothrow) CHidDevice(std::move(impl)));
}

}  // namespace qds::plat
