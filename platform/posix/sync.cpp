#include "platform/sync.h"

#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <new>

namespace qds::plat {

namespace {

struct CsImpl {
    pthread_mutex_t mutex;
};

struct EventImpl {
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    bool manual;
    bool signaled;
    bool valid;
};

struct ThreadImpl {
    pthread_t thread;
    bool started;
};

static_assert(sizeof(CsImpl) <= 64);
static_assert(sizeof(EventImpl) <= 160);
static_assert(sizeof(ThreadImpl) <= 32);

template <typename T, typename Storage>
T* As(Storage& s) {
    return std::launder(reinterpret_cast<T*>(s));
}

// Absolute CLOCK_MONOTONIC deadline timeoutMs from now.
timespec DeadlineAfter(uint32_t timeoutMs) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    ts.tv_sec += timeoutMs / 1000;
    ts.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

}  // namespace

CCriticalSection::CCriticalSection() {
    auto* impl = new (m_impl) CsImpl;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&impl->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

CCriticalSection::~CCriticalSection() {
    auto* impl = As<CsImpl>(m_impl);
    pthread_mutex_destroy(&impl->mutex);
    impl->~CsImpl();
}

void CCriticalSection::Enter() {
    pthread_mutex_lock(&As<CsImpl>(m_impl)->mutex);
}
void CCriticalSection::Leave() {
    pthread_mutex_unlock(&As<CsImpl>(m_impl)->mutex);
}

CEvent::CEvent(bool manualReset, bool initiallySignaled) {
    auto* impl = new (m_impl) EventImpl;
    impl->manual = manualReset;
    impl->signaled = initiallySignaled;
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    impl->valid = pthread_mutex_init(&impl->mutex, nullptr) == 0 &&
                  pthread_cond_init(&impl->cond, &attr) == 0;
    pthread_condattr_destroy(&attr);
}

CEvent::~CEvent() {
    auto* impl = As<EventImpl>(m_impl);
    pthread_cond_destroy(&impl->cond);
    pthread_mutex_destroy(&impl->mutex);
    impl->~EventImpl();
}

bool CEvent::Valid() const {
    return std::launder(reinterpret_cast<const EventImpl*>(m_impl))->valid;
}

void CEvent::Set() {
    auto* impl = As<EventImpl>(m_impl);
    pthread_mutex_lock(&impl->mutex);
    impl->signaled = true;
    if (impl->manual)
        pthread_cond_broadcast(&impl->cond);
    else
        pthread_cond_signal(&impl->cond);
    pthread_mutex_unlock(&impl->mutex);
}

void CEvent::Reset() {
    auto* impl = As<EventImpl>(m_impl);
    pthread_mutex_lock(&impl->mutex);
    impl->signaled = false;
    pthread_mutex_unlock(&impl->mutex);
}

WaitResult CEvent::Wait(uint32_t timeoutMs) {
    auto* impl = As<EventImpl>(m_impl);
    const timespec deadline = DeadlineAfter(timeoutMs == kInfinite ? 0 : timeoutMs);
    pthread_mutex_lock(&impl->mutex);
    int rc = 0;
    while (!impl->signaled) {
        if (timeoutMs == kInfinite) {
            rc = pthread_cond_wait(&impl->cond, &impl->mutex);
        } else {
            rc = pthread_cond_timedwait(&impl->cond, &impl->mutex, &deadline);
            if (rc == ETIMEDOUT) break;
        }
        if (rc != 0 && rc != ETIMEDOUT) break;
    }
    WaitResult result = WaitResult::Failed;
    if (impl->signaled) {
        if (!impl->manual) impl->signaled = false;
        result = WaitResult::Signaled;
    } else if (rc == ETIMEDOUT) {
        result = WaitResult::Timeout;
    }
    pthread_mutex_unlock(&impl->mutex);
    return result;
}

void* CEvent::NativeHandle() const {
    return nullptr;
}

namespace {
struct ThreadStart {
    CThread::Proc fn;
    void* arg;
};

void* ThreadTrampoline(void* p) {
    ThreadStart start = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    start.fn(start.arg);
    return nullptr;
}
}  // namespace

CThread::CThread() {
    auto* impl = new (m_impl) ThreadImpl;
    impl->started = false;
}

CThread::~CThread() {
    Join();
    As<ThreadImpl>(m_impl)->~ThreadImpl();
}

bool CThread::Start(Proc fn, void* arg) {
    auto* impl = As<ThreadImpl>(m_impl);
    if (impl->started || fn == nullptr) return false;
    auto* start = new (std::nothrow) ThreadStart{fn, arg};
    if (start == nullptr) return false;
    if (pthread_create(&impl->thread, nullptr, ThreadTrampoline, start) != 0) {
        delete start;
        return false;
    }
    impl->started = true;
    return true;
}

void CThread::Join() {
    auto* impl = As<ThreadImpl>(m_impl);
    if (!impl->started) return;
    pthread_join(impl->thread, nullptr);
    impl->started = false;
}

bool CThread::Started() const {
    return std::launder(reinterpret_cast<const ThreadImpl*>(m_impl))->started;
}

}  // namespace qds::plat
