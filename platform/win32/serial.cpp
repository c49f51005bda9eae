#include "platform/serial.h"

#include <windows.h>

#include "platform/win32/iowait.h"

namespace qds::plat {

struct CSerialPort::Impl {
    HANDLE file = INVALID_HANDLE_VALUE;
    // Completion of the overlapped read, and of an overlapped write.
    HANDLE readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    win32::CWakeEvent wake;  // Interrupt

    ~Impl() {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        for (HANDLE h : {readEvent, writeEvent}) {
            if (h) CloseHandle(h);
        }
    }
};

CSerialPort::CSerialPort() : m_impl(new Impl) {}

CSerialPort::~CSerialPort() = default;

bool CSerialPort::Open(const char* path, uint32_t baud) {
    Close();
    m_error = SerialOpenError::None;
    m_errorText.clear();
    Impl& port = *m_impl;
    if (path == nullptr) return Fail(SerialOpenError::NoSuchDevice, "no path");
    if (baud == 0) return Fail(SerialOpenError::BaudNotSupported, "");
    if (!port.readEvent || !port.writeEvent) {
        return Fail(SerialOpenError::Failed, win32::OsErrorText(GetLastError()));
    }
    // No sharing: Windows keeps the port to this handle alone.
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        // A port another handle holds answers "access denied".
        const SerialOpenError kind =
            err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND
                ? SerialOpenError::NoSuchDevice
            : err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION || err == ERROR_BUSY
                ? SerialOpenError::InUse
                : SerialOpenError::Failed;
        return Fail(kind, win32::OsErrorText(err));
    }
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
        if (!ok) {
            const DWORD err = GetLastError();
            CloseHandle(h);
            return Fail(err == ERROR_INVALID_PARAMETER ? SerialOpenError::BaudNotSupported
                                                       : SerialOpenError::Failed,
                        win32::OsErrorText(err));
        }
    }
    if (ok) {
        // A read returns 2 ms after the last byte that came, or after 1 s with nothing; the
        // framework groups these reads into frames by its own gap. (The "MAXDWORD, MAXDWORD,
        // n" form of "return at the first byte" is not honoured by Wine: its reads then wait
        // for a full buffer.)
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = 2;
        t.ReadTotalTimeoutMultiplier = 0;
        t.ReadTotalTimeoutConstant = 1000;
        ok = SetCommTimeouts(h, &t) != FALSE;
    }
    if (!ok) {
        const DWORD err = GetLastError();
        CloseHandle(h);
        return Fail(SerialOpenError::Failed, win32::OsErrorText(err));
    }
    port.file = h;
    return true;
}

void CSerialPort::Close() {
    if (m_impl->file != INVALID_HANDLE_VALUE) CloseHandle(m_impl->file);
    m_impl->file = INVALID_HANDLE_VALUE;
}

bool CSerialPort::IsOpen() const {
    return m_impl->file != INVALID_HANDLE_VALUE;
}

uint32_t CSerialPort::OsHandle() const {
    const HANDLE h = m_impl->file;
    return h == INVALID_HANDLE_VALUE ? 0 : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
}

int32_t CSerialPort::Read(uint8_t* buf, uint32_t size, uint32_t timeoutMs) {
    Impl& port = *m_impl;
    if (port.file == INVALID_HANDLE_VALUE || buf == nullptr) return -1;
    if (size == 0) return 0;
    OVERLAPPED ov{};
    ov.hEvent = port.readEvent;
    ResetEvent(port.readEvent);
    DWORD got = 0;
    if (ReadFile(port.file, buf, size, &got, &ov)) return static_cast<int32_t>(got);
    if (GetLastError() != ERROR_IO_PENDING) return -1;
    if (port.wake.WaitFor(port.readEvent, timeoutMs) != win32::IoWait::Ready) CancelIo(port.file);
    if (!GetOverlappedResult(port.file, &ov, &got, TRUE)) {
        // Cancelled at the time-out or by Interrupt: what it had read so far is still ours.
        return GetLastError() == ERROR_OPERATION_ABORTED ? static_cast<int32_t>(got) : -1;
    }
    return static_cast<int32_t>(got);
}

int32_t CSerialPort::Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) {
    Impl& port = *m_impl;
    if (port.file == INVALID_HANDLE_VALUE || (data == nullptr && length > 0)) return -1;
    if (length == 0) return 0;
    OVERLAPPED ov{};
    ov.hEvent = port.writeEvent;
    ResetEvent(port.writeEvent);
    DWORD done = 0;
    if (!WriteFile(port.file, data, length, &done, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING) return -1;
        if (WaitForSingleObject(port.writeEvent, timeoutMs) != WAIT_OBJECT_0) {
            CancelIo(port.file);
        }
        if (!GetOverlappedResult(port.file, &ov, &done, TRUE)) return -1;
    }
    return done == length ? static_cast<int32_t>(done) : -1;
}

void CSerialPort::Purge() {
    if (m_impl->file != INVALID_HANDLE_VALUE) {
        PurgeComm(m_impl->file, PURGE_RXCLEAR | PURGE_TXCLEAR);
    }
}

void CSerialPort::Interrupt() {
    m_impl->wake.Set();
}

// Windows names its ports itself; the registry mapping is a POSIX matter.
std::string SerialPortPath(uint32_t port, const std::string&) {
    return "\\\\.\\COM" + std::to_string(port);
}

}  // namespace qds::plat
