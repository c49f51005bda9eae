#include "platform/sync.h"

#include <windows.h>

#include <new>

namespace qds::plat {

struct CCriticalSection::Impl {
    CRITICAL_SECTION cs;
};

struct CEvent::Impl {
    HANDLE handle = nullptr;
};

struct CThread::Impl {
    HANDLE handle = nullptr;
};

CCriticalSection::CCriticalSection() : m_impl(new Impl) {
    InitializeCriticalSection(&m_impl->cs);
}
CCriticalSection::~CCriticalSection() {
    DeleteCriticalSection(&m_impl->cs);
}
void CCriticalSection::Enter() {
    EnterCriticalSection(&m_impl->cs);
}
void CCriticalSection::Leave() {
    LeaveCriticalSection(&m_impl->cs);
}

CEvent::CEvent(bool manualReset, bool initiallySignaled) : m_impl(new Impl) {
    m_impl->handle = CreateEventW(nullptr, manualReset ? TRUE : FALSE,
                                  initiallySignaled ? TRUE : FALSE, nullptr);
}
CEvent::~CEvent() {
    if (m_impl->handle) CloseHandle(m_impl->handle);
}
bool CEvent::Valid() const {
    return m_impl->handle != nullptr;
}
void CEvent::Set() {
    SetEvent(m_impl->handle);
}
void CEvent::Reset() {
    ResetEvent(m_impl->handle);
}
WaitResult CEvent::Wait(uint32_t timeoutMs) {
    const DWORD rc = WaitForSingleObject(m_impl->handle, timeoutMs);
    if (rc == WAIT_OBJECT_0) return WaitResult::Signaled;
    if (rc == WAIT_TIMEOUT) return WaitResult::Timeout;
    return WaitResult::Failed;
}
void* CEvent::NativeHandle() const {
    return m_impl->handle;
}

namespace {
struct ThreadStart {
    CThread::Proc fn;
    void* arg;
};
DWORD WINAPI ThreadTrampoline(LPVOID p) {
    ThreadStart start = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    return start.fn(start.arg);
}
}  // namespace

CThread::CThread() : m_impl(new Impl) {}
CThread::~CThread() {
    Join();
}
bool CThread::Start(Proc fn, void* arg) {
    if (m_impl->handle != nullptr || fn == nullptr) return false;
    auto* start = new (std::nothrow) ThreadStart{fn, arg};
    if (start == nullptr) return false;
    m_impl->handle = CreateThread(nullptr, 0, ThreadTrampoline, start, 0, nullptr);
    if (m_impl->handle == nullptr) {
        delete start;
        return false;
    }
    return true;
}
void CThread::Join() {
    if (m_impl->handle == nullptr) return;
    WaitForSingleObject(m_impl->handle, INFINITE);
    CloseHandle(m_impl->handle);
    m_impl->handle = nullptr;
}
bool CThread::Started() const {
    return m_impl->handle != nullptr;
}

}  // namespace qds::plat
