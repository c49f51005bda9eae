#include "platform/sync.h"

#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <new>

namespace qds::plat {

struct CCriticalSection::Impl {
    pthread_mutex_t mutex;
};

struct CEvent::Impl {
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    bool manual;
    bool signaled;
    bool valid;
};

struct CThread::Impl {
    pthread_t thread;
    bool started = false;
};

namespace {

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

CCriticalSection::CCriticalSection() : m_impl(new Impl) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m_impl->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

CCriticalSection::~CCriticalSection() {
    pthread_mutex_destroy(&m_impl->mutex);
}

void CCriticalSection::Enter() {
    pthread_mutex_lock(&m_impl->mutex);
}
void CCriticalSection::Leave() {
    pthread_mutex_unlock(&m_impl->mutex);
}

CEvent::CEvent(bool manualReset, bool initiallySignaled) : m_impl(new Impl) {
    m_impl->manual = manualReset;
    m_impl->signaled = initiallySignaled;
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    m_impl->valid = pthread_mutex_init(&m_impl->mutex, nullptr) == 0 &&
                    pthread_cond_init(&m_impl->cond, &attr) == 0;
    pthread_condattr_destroy(&attr);
}

CEvent::~CEvent() {
    pthread_cond_destroy(&m_impl->cond);
    pthread_mutex_destroy(&m_impl->mutex);
}

bool CEvent::Valid() const {
    return m_impl->valid;
}

void CEvent::Set() {
    Impl& e = *m_impl;
    pthread_mutex_lock(&e.mutex);
    e.signaled = true;
    if (e.manual)
        pthread_cond_broadcast(&e.cond);
    else
        pthread_cond_signal(&e.cond);
    pthread_mutex_unlock(&e.mutex);
}

void CEvent::Reset() {
    pthread_mutex_lock(&m_impl->mutex);
    m_impl->signaled = false;
    pthread_mutex_unlock(&m_impl->mutex);
}

WaitResult CEvent::Wait(uint32_t timeoutMs) {
    Impl& e = *m_impl;
    const timespec deadline = DeadlineAfter(timeoutMs == kInfinite ? 0 : timeoutMs);
    pthread_mutex_lock(&e.mutex);
    int rc = 0;
    while (!e.signaled) {
        if (timeoutMs == kInfinite) {
            rc = pthread_cond_wait(&e.cond, &e.mutex);
        } else {
            rc = pthread_cond_timedwait(&e.cond, &e.mutex, &deadline);
            if (rc == ETIMEDOUT) break;
        }
        if (rc != 0 && rc != ETIMEDOUT) break;
    }
    WaitResult result = WaitResult::Failed;
    if (e.signaled) {
        if (!e.manual) e.signaled = false;
        result = WaitResult::Signaled;
    } else if (rc == ETIMEDOUT) {
        result = WaitResult::Timeout;
    }
    pthread_mutex_unlock(&e.mutex);
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

CThread::CThread() : m_impl(new Impl) {}

CThread::~CThread() {
    Join();
}

bool CThread::Start(Proc fn, void* arg) {
    if (m_impl->started || fn == nullptr) return false;
    auto* start = new (std::nothrow) ThreadStart{fn, arg};
    if (start == nullptr) return false;
    if (pthread_create(&m_impl->thread, nullptr, ThreadTrampoline, start) != 0) {
        delete start;
        return false;
    }
    m_impl->started = true;
    return true;
}

void CThread::Join() {
    if (!m_impl->started) return;
    pthread_join(m_impl->thread, nullptr);
    m_impl->started = false;
}

bool CThread::Started() const {
    return m_impl->started;
}

}  // namespace qds::plat
