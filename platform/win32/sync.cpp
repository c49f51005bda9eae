#include "platform/sync.h"

#include <windows.h>

#include <new>

namespace qds::plat {

namespace {
struct EventImpl {
    HANDLE handle;
};
struct ThreadImpl {
    HANDLE handle;
};
static_assert(sizeof(CRITICAL_SECTION) <= 64);
static_assert(sizeof(EventImpl) <= 160);
static_assert(sizeof(ThreadImpl) <= 32);

template <typename T, typename Storage>
T* As(Storage& s) {
    return std::launder(reinterpret_cast<T*>(s));
}
}  // namespace

CCriticalSection::CCriticalSection() {
    InitializeCriticalSection(new (m_impl) CRITICAL_SECTION);
}
CCriticalSection::~CCriticalSection() {
    DeleteCriticalSection(As<CRITICAL_SECTION>(m_impl));
}
void CCriticalSection::Enter() {
    EnterCriticalSection(As<CRITICAL_SECTION>(m_impl));
}
void CCriticalSection::Leave() {
    LeaveCriticalSection(As<CRITICAL_SECTION>(m_impl));
}

CEvent::CEvent(bool manualReset, bool initiallySignaled) {
    auto* impl = new (m_impl) EventImpl;
    impl->handle = CreateEventW(nullptr, manualReset ? TRUE : FALSE,
                                initiallySignaled ? TRUE : FALSE, nullptr);
}
CEvent::~CEvent() {
    auto* impl = As<EventImpl>(m_impl);
    if (impl->handle) CloseHandle(impl->handle);
}
bool CEvent::Valid() const {
    return std::launder(reinterpret_cast<const EventImpl*>(m_impl))->handle != nullptr;
}
void CEvent::Set() {
    SetEvent(As<EventImpl>(m_impl)->handle);
}
void CEvent::Reset() {
    ResetEvent(As<EventImpl>(m_impl)->handle);
}
WaitResult CEvent::Wait(uint32_t timeoutMs) {
    const DWORD rc = WaitForSingleObject(As<EventImpl>(m_impl)->handle, timeoutMs);
    if (rc == WAIT_OBJECT_0) return WaitResult::Signaled;
    if (rc == WAIT_TIMEOUT) return WaitResult::Timeout;
    return WaitResult::Failed;
}
void* CEvent::NativeHandle() const {
    return std::launder(reinterpret_cast<const EventImpl*>(m_impl))->handle;
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

CThread::CThread() {
    new (m_impl) ThreadImpl{nullptr};
}
CThread::~CThread() {
    Join();
}
bool CThread::Start(Proc fn, void* arg) {
    auto* impl = As<ThreadImpl>(m_impl);
    if (impl->handle != nullptr || fn == nullptr) return false;
    auto* start = new (std::nothrow) ThreadStart{fn, arg};
    if (start == nullptr) return false;
    impl->handle = CreateThread(nullptr, 0, ThreadTrampoline, start, 0, nullptr);
    if (impl->handle == nullptr) {
        delete start;
        return false;
    }
    return true;
}
void CThread::Join() {
    auto* impl = As<ThreadImpl>(m_impl);
    if (impl->handle == nullptr) return;
    WaitForSingleObject(impl->handle, INFINITE);
    CloseHandle(impl->handle);
    impl->handle = nullptr;
}
bool CThread::Started() const {
    return std::launder(reinterpret_cast<const ThreadImpl*>(m_impl))->handle != nullptr;
}

}  // namespace qds::plat
