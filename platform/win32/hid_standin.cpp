#include "platform/hid_standin.h"

#include <windows.h>

#include <new>
#include <string>

namespace qds::plat {

namespace {

class CPipeStandIn final : public CHidStandIn {
  public:
    CPipeStandIn(HANDLE pipe, HANDLE event) : m_hPipe(pipe), m_hEvent(event) {}
    ~CPipeStandIn() override {
        Unplug();
        CloseHandle(m_hEvent);
    }

    bool Accept(uint32_t timeoutMs) override {
        if (m_hPipe == INVALID_HANDLE_VALUE) return false;
        if (m_bConnected) return true;
        OVERLAPPED ov{};
        ov.hEvent = m_hEvent;
        if (ConnectNamedPipe(m_hPipe, &ov)) return m_bConnected = true;
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED) return m_bConnected = true;
        if (error != ERROR_IO_PENDING) return false;
        return m_bConnected = Finish(ov, timeoutMs) >= 0;
    }

    bool SendReport(const uint8_t* report, uint32_t size) override {
        OVERLAPPED ov{};
        ov.hEvent = m_hEvent;
        DWORD put = 0;
        if (WriteFile(m_hPipe, report, size, &put, &ov)) return put == size;
        if (GetLastError() != ERROR_IO_PENDING) return false;
        return Finish(ov, INFINITE) == static_cast<int32_t>(size);
    }

    int32_t ReceiveReport(uint8_t* buffer, uint32_t size, uint32_t timeoutMs) override {
        OVERLAPPED ov{};
        ov.hEvent = m_hEvent;
        DWORD got = 0;
        if (ReadFile(m_hPipe, buffer, size, &got, &ov)) return static_cast<int32_t>(got);
        if (GetLastError() != ERROR_IO_PENDING) return -1;
        return Finish(ov, timeoutMs);
    }

    void Unplug() override {
        if (m_hPipe == INVALID_HANDLE_VALUE) return;
        DisconnectNamedPipe(m_hPipe);
        CloseHandle(m_hPipe);
        m_hPipe = INVALID_HANDLE_VALUE;
    }

  private:
    // Waits for a pending operation; cancels it after timeoutMs. Its byte count, or -1.
    int32_t Finish(OVERLAPPED& ov, uint32_t timeoutMs) {
        DWORD n = 0;
        if (WaitForSingleObject(m_hEvent, timeoutMs) != WAIT_OBJECT_0) {
            CancelIo(m_hPipe);
            GetOverlappedResult(m_hPipe, &ov, &n, TRUE);
            return -1;
        }
        if (!GetOverlappedResult(m_hPipe, &ov, &n, FALSE)) return -1;
        return static_cast<int32_t>(n);
    }

    HANDLE m_hPipe;
    const HANDLE m_hEvent;
    bool m_bConnected = false;
};

}  // namespace

std::unique_ptr<CHidStandIn> CHidStandIn::Create(const std::string& node, uint32_t inBufferBytes) {
    const std::wstring name(node.begin(), node.end());
    HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096,
                                   inBufferBytes != 0 ? inBufferBytes : 65536, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CPipeStandIn* standIn = nullptr;
    if (event != nullptr) standIn = new (std::nothrow) CPipeStandIn(pipe, event);
    if (standIn == nullptr) {
        CloseHandle(pipe);
        if (event != nullptr) CloseHandle(event);
    }
    return std::unique_ptr<CHidStandIn>(standIn);
}

}  // namespace qds::plat
