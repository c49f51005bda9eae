// Collects what a channel hands to its callback and lets a test wait for it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "framework/Tavrix.h"

namespace tvxtest {

// Generous bound for every wait on an event; a healthy run takes milliseconds.
constexpr auto kWait = std::chrono::seconds(10);

class Receiver {
  public:
    static void KX_STDCALL Notify(const uint8_t* data, int32_t length, void* context) {
        auto* self = static_cast<Receiver*>(context);
        if (self->m_inside.fetch_add(1) != 0) self->m_overlap = true;
        if (self->m_closed) self->m_afterClose = true;
        {
            std::lock_guard<std::mutex> lock(self->m_m);
            self->m_chunks.emplace_back(reinterpret_cast<const char*>(data),
                                        static_cast<size_t>(length));
            self->m_bytes.append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
        }
        self->m_cv.notify_all();
        self->m_inside.fetch_sub(1);
    }

    // True once at least n bytes have come.
    bool WaitBytes(size_t n) {
        std::unique_lock<std::mutex> lock(m_m);
        return m_cv.wait_for(lock, kWait, [&] { return m_bytes.size() >= n; });
    }
    std::string Bytes() {
        std::lock_guard<std::mutex> lock(m_m);
        return m_bytes;
    }
    std::vector<std::string> Chunks() {
        std::lock_guard<std::mutex> lock(m_m);
        return m_chunks;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_m);
        m_bytes.clear();
        m_chunks.clear();
    }
    void MarkClosed() { m_closed = true; }
    bool Overlapped() const { return m_overlap; }
    bool CalledAfterClose() const { return m_afterClose; }

  private:
    std::mutex m_m;
    std::condition_variable m_cv;
    std::string m_bytes;
    std::vector<std::string> m_chunks;
    std::atomic<int> m_inside{0};
    std::atomic<bool> m_overlap{false};
    std::atomic<bool> m_closed{false};
    std::atomic<bool> m_afterClose{false};
};

// Records the device going away and coming back (the channel's state observer).
class StateLog {
  public:
    static void Observe(bool open, void* context) {
        auto* self = static_cast<StateLog*>(context);
        {
            std::lock_guard<std::mutex> lock(self->m_m);
            self->m_events.push_back(open);
        }
        self->m_cv.notify_all();
    }
    // True once the n-th event (counted from 1) has come and reads `open`.
    bool WaitEvent(size_t n, bool open) {
        std::unique_lock<std::mutex> lock(m_m);
        return m_cv.wait_for(lock, kWait, [&] { return m_events.size() >= n; }) &&
               m_events[n - 1] == open;
    }

  private:
    std::mutex m_m;
    std::condition_variable m_cv;
    std::vector<bool> m_events;
};

// Records what a status callback (tvx_register_status) reports.
class StatusLog {
  public:
    static void KX_STDCALL Notify(int32_t status, void* context) {
        auto* self = static_cast<StatusLog*>(context);
        if (self->m_closed) self->m_afterClose = true;
        {
            std::lock_guard<std::mutex> lock(self->m_m);
            self->m_events.push_back(status);
        }
        self->m_cv.notify_all();
    }
    // True once at least n statuses have come.
    bool WaitCount(size_t n) {
        std::unique_lock<std::mutex> lock(m_m);
        return m_cv.wait_for(lock, kWait, [&] { return m_events.size() >= n; });
    }
    std::vector<int32_t> Events() {
        std::lock_guard<std::mutex> lock(m_m);
        return m_events;
    }
    void MarkClosed() { m_closed = true; }
    bool CalledAfterClose() const { return m_afterClose; }

  private:
    std::mutex m_m;
    std::condition_variable m_cv;
    std::vector<int32_t> m_events;
    std::atomic<bool> m_closed{false};
    std::atomic<bool> m_afterClose{false};
};

}  // namespace tvxtest
