#include "platform/serial.h"

#include <windows.h>

#include <new>

#include "platform/sync.h"

namespace qds::plat {

namespace {

struct SerialImpl {
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE readEvent = nullptr;   // completion of the overlapped read
    HANDLE writeEvent = nullptr;  // completion of an overlapped write
    HANDLE wakeEvent = nullptr;   // auto reset: Interrupt
};
static_assert(sizeof(SerialImpl) <= 64);

SerialImpl* Impl(unsigned char* s) {
    return std::launder(reinterpret_cast<SerialImpl*>(s));
}
const SerialImpl* Impl(const unsigned char* s) {
    return std::launder(reinterpret_cast<const SerialImpl*>(s));
}

}  // namespace

CSerialPort::CSerialPort() {
    auto* impl = new (m_impl) SerialImpl;
    impl->readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    impl->writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    impl->wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

CSerialPort::~CSerialPort() {
    Close();
    auto* impl = Impl(m_impl);
    for (HANDLE h : {impl->readEvent, impl->writeEvent, impl->wakeEvent}) {
        if (h) CloseHandle(h);
    }
    impl->~SerialImpl();
}

bool CSerialPort::Open(const char* path, uint32_t baud) {
    Close();
    auto* impl = Impl(m_impl);
    if (path == nullptr || baud == 0 || !impl->readEvent || !impl->writeEvent) return false;
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    bool ok = GetCommState(h, &dcb) != FALSE;
    if (ok) {
        dcb.BaudRate = baud;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        ok = SetCommState(h, &dcb) != FALSE;
    }
    if (ok) {
        // A read returns 2 ms after the last byte that came, or after 1 s with nothing. (The
        // "MAXDWORD, MAXDWORD, n" form of "return at the first byte" is not honoured by Wine:
        // its reads then wait for a full buffer.)
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = 2;
        t.ReadTotalTimeoutMultiplier = 0;
        t.ReadTotalTimeoutConstant = 1000;
        ok = SetCommTimeouts(h, &t) != FALSE;
    }
    if (!ok) {
        CloseHandle(h);
        return false;
    }
    impl->file = h;
    return true;
}

void CSerialPort::Close() {
    auto* impl = Impl(m_impl);
    if (impl->file != INVALID_HANDLE_VALUE) CloseHandle(impl->file);
    impl->file = INVALID_HANDLE_VALUE;
}

bool CSerialPort::IsOpen() const {
    return Impl(m_impl)->file != INVALID_HANDLE_VALUE;
}

uint32_t CSerialPort::OsHandle() const {
    const HANDLE h = Impl(m_impl)->file;
    return h == INVALID_HANDLE_VALUE ? 0 : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
}

int32_t CSerialPort::Read(uint8_t* buf, uint32_t size, uint32_t timeoutMs) {
    auto* impl = Impl(m_impl);
    if (impl->file == INVALID_HANDLE_VALUE || buf == nullptr) return -1;
    if (size == 0) return 0;
    OVERLAPPED ov{};
    ov.hEvent = impl->readEvent;
    ResetEvent(impl->readEvent);
    DWORD got = 0;
    if (ReadFile(impl->file, buf, size, &got, &ov)) return static_cast<int32_t>(got);
    if (GetLastError() != ERROR_IO_PENDING) return -1;
    HANDLE waits[2] = {impl->readEvent, impl->wakeEvent};
    const DWORD w = WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
    if (w != WAIT_OBJECT_0) CancelIo(impl->file);
    if (!GetOverlappedResult(impl->file, &ov, &got, TRUE)) {
        return GetLastError() == ERROR_OPERATION_ABORTED ? 0 : -1;
    }
    return static_cast<int32_t>(got);
}

int32_t CSerialPort::Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) {
    auto* impl = Impl(m_impl);
    if (impl->file == INVALID_HANDLE_VALUE || (data == nullptr && length > 0)) return -1;
    if (length == 0) return 0;
    OVERLAPPED ov{};
    ov.hEvent = impl->writeEvent;
    ResetEvent(impl->writeEvent);
    DWORD done = 0;
    if (!WriteFile(impl->file, data, length, &done, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING) return -1;
        if (WaitForSingleObject(impl->writeEvent, timeoutMs) != WAIT_OBJECT_0) {
            CancelIo(impl->file);
        }
        if (!GetOverlappedResult(impl->file, &ov, &done, TRUE)) return -1;
    }
    return done == length ? static_cast<int32_t>(done) : -1;
}

void CSerialPort::Purge() {
    auto* impl = Impl(m_impl);
    if (impl->file != INVALID_HANDLE_VALUE) {
        PurgeComm(impl->file, PURGE_RXCLEAR | PURGE_TXCLEAR);
    }
}

void CSerialPort::Interrupt() {
    auto* impl = Impl(m_impl);
    if (impl->wakeEvent) SetEvent(impl->wakeEvent);
}

}  // namespace qds::plat

namespace qds::plat {

// Windows names its ports itself; the registry mapping is a POSIX matter.
std::string SerialPortPath(uint32_t port, const std::string&) {
    return "\\\\.\\COM" + std::to_string(port);
}

}  // namespace qds::plat
