#include "hid_plugin/HidPosDevice.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

#include "platform/time.h"

namespace qds::hid {

void BuildOutputReport(const uint8_t* data, uint32_t chunk, bool moreFollows, uint8_t* report) {
    std::memset(report, 0, plat::kHidReportSize);
    report[0] = kOutputReportId;
    report[1] = static_cast<uint8_t>(chunk);
    report[kMoreFollowsByte] = moreFollows ? 1 : 0;
    std::memcpy(report + 2, data, chunk);
}

HidPosDevice::HidPosDevice(std::unique_ptr<IHidReportDevice> device, const wchar_t* path,
                           const wchar_t* serial)
    : m_hDevice(std::move(device)) {
    if (serial != nullptr && std::wcslen(serial) < kSerialChars)
        std::wmemcpy(m_serial, serial, std::wcslen(serial) + 1);
    // A path too long for an entry is never listed by discovery, so it is never asked for.
    if (path != nullptr && std::wcslen(path) < kDevicePathChars)
        std::wmemcpy(m_path, path, std::wcslen(path) + 1);
}

HidPosDevice::~HidPosDevice() = default;

HidPosDevice* HidPosDevice::Create(std::unique_ptr<IHidReportDevice> device, const wchar_t* path,
                                   const wchar_t* serial) {
    if (!device || !device->IsOpen()) return nullptr;
    auto* self = new (std::nothrow) HidPosDevice(std::move(device), path, serial);
    if (self == nullptr) return nullptr;
    if (self->m_hDataEvent.Valid() && self->m_hReaderThread.Start(ReaderThreadProc, self)) {
        self->m_bReaderHeld.store(true);
        plat::SleepMs(kStartSettleMs);
    } else {
        self->m_hDevice->Close();
    }
    if (!self->DeviceValid()) {
        Destroy(self);
        return nullptr;
    }
    return self;
}

void HidPosDevice::Destroy(HidPosDevice* device) {
    if (device == nullptr) return;
    device->StopReader();
    device->Release();
}

void HidPosDevice::StopReader() {
    if (!m_bReaderHeld.load()) return;
    plat::CLock lock(m_hThreadMutex);
    if (m_bReaderHeld.load()) {
        m_hDevice->RequestStop();
        m_hReaderThread.Join();
        m_bReaderHeld.store(false);
    }
}

uint32_t HidPosDevice::ReaderThreadProc(void* arg) {
    static_cast<HidPosDevice*>(arg)->ReaderLoop();
    return 0;
}

void HidPosDevice::ReaderLoop() {
    uint8_t report[plat::kHidReportSize];
    for (;;) {
        uint32_t count = 0;
        if (m_hDevice->ReadReport(report, count) != plat::HidIo::Done) break;
        if (count != plat::kHidReportSize) break;
        if (report[0] != kInputReportId || report[1] > kMaxPayload) break;
        RingPut(report + 2, report[1]);
        m_hDataEvent.Set();  // even for an empty report
    }
    {
        // Not while a write is in the middle of its transfer.
        plat::CLock lock(m_hIoMutex);
        if (m_hDevice->IsOpen()) m_hDevice->Close();
    }
    m_hDataEvent.Set();  // a waiting reader wakes and finds the device closed
}

void HidPosDevice::RingPut(const uint8_t* bytes, uint32_t count) {
    plat::CLock lock(m_csRing);
    if (count > kRingSize - m_ringCount) return;  // no room for the whole chunk: dropped
    const uint32_t first = std::min(count, kRingSize - m_ringWrite);
    std::memcpy(m_ring + m_ringWrite, bytes, first);
    std::memcpy(m_ring, bytes + first, count - first);
    m_ringWrite = (m_ringWrite + count) % kRingSize;
    m_ringCount += count;
}

uint32_t HidPosDevice::RingGet(uint8_t* buffer, uint32_t count) {
    plat::CLock lock(m_csRing);
    const uint32_t n = std::min(count, m_ringCount);
    if (n == 0) return 0;
    const uint32_t first = std::min(n, kRingSize - m_ringRead);
    std::memcpy(buffer, m_ring + m_ringRead, first);
    std::memcpy(buffer + first, m_ring, n - first);
    m_ringRead = (m_ringRead + n) % kRingSize;
    m_ringCount -= n;
    return n;
}

uint32_t HidPosDevice::RingCount() {
    plat::CLock lock(m_csRing);
    return m_ringCount;
}

int32_t HidPosDevice::ReadWithTimeout(uint8_t* buffer, uint32_t length, uint32_t timeoutMs) {
    // Bytes the reader stored before the device closed are handed out first: a caller that
    // sees "closed" and reopens must not lose them. Only an empty ring on a closed device
    // reads as closed. The reader stores its last bytes before it closes the device, so once
    // the device reads as closed the ring can only shrink.
    uint32_t got = RingGet(buffer, length);
    if (!DeviceValid()) {
        got += RingGet(buffer + got, length - got);
        return got > 0 ? static_cast<int32_t>(got) : PLUG_E_CLOSED;
    }
    if (timeoutMs == 0 || got == length) return static_cast<int32_t>(got);
    // Each wait runs against its own deadline, so reports that bring nothing (an empty
    // payload) wake the reader without ever stretching the caller's time-out.
    uint32_t wait = timeoutMs;
    uint32_t waitStart = plat::TickMs();
    while (got < length) {
        if (RingCount() > 0) {
            got += RingGet(buffer + got, length - got);
            continue;
        }
        if (!DeviceValid()) {
            // The reader's last signal wakes one waiter; pass it on to any other.
            m_hDataEvent.Set();
            got += RingGet(buffer + got, length - got);
            return got > 0 ? static_cast<int32_t>(got) : PLUG_E_CLOSED;
        }
        uint32_t left = wait;
        if (timeoutMs != plat::kInfinite) {
            const uint32_t spent = plat::TickMs() - waitStart;
            if (spent >= wait) break;
            left = wait - spent;
        }
        if (m_pWaitHook != nullptr) m_pWaitHook(m_pWaitHookContext, left);
        const plat::WaitResult result = m_hDataEvent.Wait(left);
        const uint32_t k = RingGet(buffer + got, length - got);
        got += k;
        if (timeoutMs != plat::kInfinite) {
            if (k > 0) {
                wait = kFollowUpWaitMs;
                waitStart = plat::TickMs();
            } else if (result == plat::WaitResult::Timeout) {
                break;
            }
        }
    }
    return static_cast<int32_t>(got);
}

int32_t HidPosDevice::WriteReports(const uint8_t* data, uint32_t length) {
    if (!DeviceValid()) return PLUG_E_CLOSED;
    bool failed = false;
    uint32_t total = 0;
    {
        plat::CLock lock(m_hIoMutex);
        if (!DeviceValid()) return PLUG_E_CLOSED;
        uint8_t report[plat::kHidReportSize];
        while (length > 0) {
            const uint32_t chunk = std::min(length, kMaxPayload);
            BuildOutputReport(data, chunk, length > chunk, report);
            uint32_t written = 0;
            const plat::HidIo io = m_hDevice->WriteReport(report, written, kWriteTimeoutMs);
            if (io != plat::HidIo::Done || written != plat::kHidReportSize) {
                failed = true;
                break;
            }
            total += chunk;
            length -= chunk;
            data += chunk;
        }
    }
    if (failed) {
        // The mutex is released first: the reader thread takes it to close the device.
        StopReader();
        return PLUG_E_TRANSFER;
    }
    return static_cast<int32_t>(total);
}

void HidPosDevice::Clear() {
    // What is there now, then whatever comes within kClearWaitMs of the last bytes, but never
    // longer than kClearLimitMs in all: a device that keeps sending cannot hold the clear.
    uint8_t scratch[plat::kHidReportSize];
    const uint32_t start = plat::TickMs();
    for (;;) {
        while (RingGet(scratch, sizeof scratch) > 0) {
        }
        const uint32_t spent = plat::TickMs() - start;
        if (!DeviceValid() || spent >= kClearLimitMs) break;
        const uint32_t left = std::min(kClearWaitMs, kClearLimitMs - spent);
        if (m_hDataEvent.Wait(left) == plat::WaitResult::Timeout && RingCount() == 0) break;
    }
}

}  // namespace qds::hid
