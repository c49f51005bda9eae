#include "hid_plugin/PlugTable.h"

#include <climits>
#include <cwchar>
#include <string>

#include "hid_plugin/HidDiscovery.h"
#include "hid_plugin/HidPosDevice.h"

using qds::hid::HidPosDevice;

namespace {

constexpr wchar_t kDescription[] = L"Usb hid-pos communicate";
constexpr uint32_t kDescriptionChars = sizeof(kDescription) / sizeof(kDescription[0]);
static_assert(kDescriptionChars == 24, "the description with its terminator");

HidPosDevice* AsDevice(void* handle) {
    return static_cast<HidPosDevice*>(handle);
}

}  // namespace

// No C++ exception may leave a table function. Every body that can throw (discovery, memory,
// the device object's calls) catches everything: an exception counts as a bad argument, a null
// handle for PlugOpen, 0 for PlugClose. The argument checks, PlugGetDesc, PlugGetStatus and
// PlugReserved cannot throw.
extern "C" {

int32_t KX_CDECL PlugGetDesc(wchar_t* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) return PLUG_E_ARGUMENT;
    if (size < kDescriptionChars) return PLUG_E_BUFFER;
    std::wmemcpy(buffer, kDescription, kDescriptionChars);
    return PLUG_OK;
}

void* KX_CDECL PlugOpen(const wchar_t* params) {
    try {
        wchar_t path[qds::hid::kDevicePathChars];
        if (!qds::hid::ChooseDevicePath(params, path)) return nullptr;
        const std::wstring serial = qds::plat::HidSerialNumber(path);
        return HidPosDevice::Create(qds::hid::OpenHidReportDevice(path), path, serial.c_str());
    } catch (...) {
        return nullptr;
    }
}

int32_t KX_CDECL PlugReopen(void* lost, void** reopened) {
    if (lost == nullptr || reopened == nullptr) return PLUG_E_ARGUMENT;
    *reopened = nullptr;
    try {
        HidPosDevice::CallGuard guard(AsDevice(lost));
        const HidPosDevice* old = AsDevice(lost);
        // Only the device the handle had, and only while discovery lists it: a node name that
        // now belongs to another scanner is not taken.
        wchar_t path[qds::hid::kDevicePathChars];
        if (qds::hid::FindSameDevice(old->Path(), old->Serial(), path))
            *reopened =
                HidPosDevice::Create(qds::hid::OpenHidReportDevice(path), path, old->Serial());
        return PLUG_REOPEN_DONE;
    } catch (...) {
        *reopened = nullptr;
        return PLUG_E_ARGUMENT;
    }
}

int32_t KX_CDECL PlugClose(void* handle) {
    try {
        HidPosDevice::Destroy(AsDevice(handle));
    } catch (...) {
    }
    return PLUG_OK;
}

int32_t KX_CDECL PlugGetStatus(void* handle) {
    if (handle == nullptr) return PLUG_E_ARGUMENT;
    HidPosDevice::CallGuard guard(AsDevice(handle));
    return AsDevice(handle)->DeviceValid() ? PLUG_STATUS_OPEN : PLUG_STATUS_CLOSED;
}

int32_t KX_CDECL PlugRead(void* handle, uint8_t* buffer, uint32_t length, uint32_t timeoutMs) {
    if (handle == nullptr || buffer == nullptr) return PLUG_E_ARGUMENT;
    try {
        // The count comes back as a signed 32-bit result, so one read moves at most INT32_MAX.
        if (length > static_cast<uint32_t>(INT32_MAX)) length = INT32_MAX;
        HidPosDevice::CallGuard guard(AsDevice(handle));
        return AsDevice(handle)->ReadWithTimeout(buffer, length, timeoutMs);
    } catch (...) {
        return PLUG_E_ARGUMENT;
    }
}

int32_t KX_CDECL PlugWrite(void* handle, const uint8_t* data, uint32_t length) {
    // A length the signed result cannot report back is a bad argument.
    if (handle == nullptr || data == nullptr || length == 0 ||
        length > static_cast<uint32_t>(INT32_MAX))
        return PLUG_E_ARGUMENT;
    try {
        HidPosDevice::CallGuard guard(AsDevice(handle));
        return AsDevice(handle)->WriteReports(data, length);
    } catch (...) {
        return PLUG_E_ARGUMENT;
    }
}

int32_t KX_CDECL PlugClear(void* handle) {
    if (handle == nullptr) return PLUG_E_ARGUMENT;
    try {
        HidPosDevice* device = AsDevice(handle);
        HidPosDevice::CallGuard guard(device);
        if (!device->DeviceValid()) return PLUG_E_CLOSED;
        device->Clear();
        return PLUG_OK;
    } catch (...) {
        return PLUG_E_ARGUMENT;
    }
}

int32_t KX_CDECL PlugReserved(void) {
    return PLUG_OK;
}

}  // extern "C"

namespace qds::hid {

int32_t FillPlugDllFuns(PlugDllFuns* table) {
    if (table == nullptr) return PLUG_E_ARGUMENT;
    table->size = sizeof(PlugDllFuns);
    table->PlugGetDesc = PlugGetDesc;
    table->PlugOpen = PlugOpen;
    table->PlugClose = PlugClose;
    table->PlugReserved4 = PlugReserved;
    table->PlugGetStatus = PlugGetStatus;
    table->PlugRead = PlugRead;
    table->PlugWrite = PlugWrite;
    table->PlugClear = PlugClear;
    table->PlugReserved9 = reinterpret_cast<PlugReservedFn>(
        reinterpret_cast<void (*)(void)>(PlugReopen));  // the slot's type is nominal
    table->PlugReserved10 = PlugReserved;
    table->PlugReserved11 = PlugReserved;
    table->PlugReserved12 = PlugReserved;
    return PLUG_OK;
}

}  // namespace qds::hid
