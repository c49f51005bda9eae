#include "platform/hid_standin.h"

#include <windows.h>

#include <new>
#include <string>

namespace qds::plat {

struct CHidStandIn::Impl {
    Impl(HANDLE pipe, HANDLE event) : hPipe(pipe), hEvent(event) {}
    ~Impl() {
        Unplug();
        CloseHandle(hEvent);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void Unplug() {
        if (hPipe == INVALID_HANDLE_VALUE) return;
        DisconnectNamedPipe(hPipe);
        CloseHandle(hPipe);
        hPipe = INVALID_HANDLE_VALUE;
    }

    // Waits for a pending operation; cancels it after timeoutMs. Its byte count, or -1.
    int32_t Finish(OVERLAPPED& ov, uint32_t timeoutMs) {
        DWORD n = 0;
        if (WaitForSingleObject(hEvent, timeoutMs) != WAIT_OBJECT_0) {
            CancelIo(hPipe);
            GetOverlappedResult(hPipe, &ov, &n, TRUE);
            return -1;
        }
        if (!GetOverlappedResult(hPipe, &ov, &n, FALSE)) return -1;
        return static_cast<int32_t>(n);
    }

    HANDLE hPipe;         // the server end of the pipe; invalid once unplugged
    const HANDLE hEvent;  // manual reset, completion of the one operation in progress
    bool bConnected = false;
};

CHidStandIn::CHidStandIn(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

CHidStandIn::~CHidStandIn() = default;

bool CHidStandIn::Accept(uint32_t timeoutMs) {
    Impl& s = *m_impl;
    if (s.hPipe == INVALID_HANDLE_VALUE) return false;
    if (s.bConnected) return true;
    OVERLAPPED ov{};
    ov.hEvent = s.hEvent;
    if (ConnectNamedPipe(s.hPipe, &ov)) return s.bConnected = true;
    const DWORD error = GetLastError();
    if (error == ERROR_PIPE_CONNECTED) return s.bConnected = true;
    if (error != ERROR_IO_PENDING) return false;
    return s.bConnected = s.Finish(ov, timeoutMs) >= 0;
}

bool CHidStandIn::SendReport(const uint8_t* report, uint32_t size) {
    Impl& s = *m_impl;
    OVERLAPPED ov{};
    ov.hEvent = s.hEvent;
    DWORD put = 0;
    if (WriteFile(s.hPipe, report, size, &put, &ov)) return put == size;
    if (GetLastError() != ERROR_IO_PENDING) return false;
    return s.Finish(ov, INFINITE) == static_cast<int32_t>(size);
}

int32_t CHidStandIn::ReceiveReport(uint8_t* buffer, uint32_t size, uint32_t timeoutMs) {
    Impl& s = *m_impl;
    OVERLAPPED ov{};
    ov.hEvent = s.hEvent;
    DWORD got = 0;
    if (ReadFile(s.hPipe, buffer, size, &got, &ov)) return static_cast<int32_t>(got);
    if (GetLastError() != ERROR_IO_PENDING) return -1;
    return s.Finish(ov, timeoutMs);
}

void CHidStandIn::Unplug() {
    m_impl->Unplug();
}

std::unique_ptr<CHidStandIn> CHidStandIn::Create(const std::string& node, uint32_t inBufferBytes) {
    const std::wstring name(node.begin(), node.end());
    HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096,
                                   inBufferBytes != 0 ? inBufferBytes : 65536, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::unique_ptr<Impl> impl;
    if (event != nullptr) impl.reset(new (std::nothrow) Impl(pipe, event));
    if (impl == nullptr) {
        CloseHandle(pipe);
        if (event != nullptr) CloseHandle(event);
        return nullptr;
    }
    // Without memory for the object the Impl closes the pipe as it goes.
    return std::unique_ptr<CHidStandIn>(new (std::nothrow) CHidStandIn(std::move(impl)));
}

}  // namespace qds::plat
