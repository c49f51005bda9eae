// Locks, events and threads. Implemented in win32/ and posix/; no OS header leaks out: each
// class holds its OS state in an Impl that only its OS's file defines.
//
// All objects here are safe to use from any thread. None may be copied or moved.
#pragma once

#include <cstdint>
#include <memory>

namespace qds::plat {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Recursive lock with the semantics of a Win32 critical section: the owning thread may
// enter again and must leave as often as it entered.
class CCriticalSection {
  public:
    CCriticalSection();
    ~CCriticalSection();
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;
    void Enter();
    void Leave();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Holds a critical section for the lifetime of the scope.
class CLock {
  public:
    explicit CLock(CCriticalSection& cs) : m_cs(cs) { m_cs.Enter(); }
    ~CLock() { m_cs.Leave(); }
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

  private:
    CCriticalSection& m_cs;
};

enum class WaitResult { Signaled, Timeout, Failed };

// Event with Win32 semantics: a manual-reset event stays signalled until Reset();
// an auto-reset event releases exactly one waiter and resets itself.
class CEvent {
  public:
    CEvent(bool manualReset, bool initiallySignaled);
    ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;
    bool Valid() const;
    void Set();
    void Reset();
    // Waits up to timeoutMs (kInfinite: no limit).
    WaitResult Wait(uint32_t timeoutMs);
    // The OS object (a HANDLE on Win32, null on POSIX), for backends that wait on it natively.
    void* NativeHandle() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// A joinable thread running fn(arg).
class CThread {
  public:
    using Proc = uint32_t (*)(void* arg);
    CThread();
    ~CThread();  // joins a thread still running
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;
    bool Start(Proc fn, void* arg);
    // Waits for the thread to end; returns at once when none was started. Not reentrant:
    // callers serialise Join themselves.
    void Join();
    bool Started() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace qds::plat
