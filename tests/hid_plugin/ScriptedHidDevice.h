// A device backend driven by the test: reads return scripted reports, writes are recorded and
// end as the script says. The script outlives the device object, which the plug-in frees.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "hid_plugin/HidPosDevice.h"
#include "hid_plugin/HidReportDevice.h"

namespace hid_test {

using Report = std::array<uint8_t, 64>;

// An input report with the given id, length byte and payload (payload bytes 1, 2, 3, ... from
// `first` when no payload is given).
inline Report InputReport(uint8_t id, uint8_t length, uint8_t first = 1) {
    Report r{};
    r[0] = id;
    r[1] = length;
    for (uint32_t i = 0; i < length && i + 2 < r.size(); ++i)
        r[2 + i] = static_cast<uint8_t>(first + i);
    return r;
}

class Script {
  public:
    struct ReadStep {
        qds::plat::HidIo io;
        uint32_t count;
        Report report;
    };
    struct WriteStep {
        qds::plat::HidIo io;
        uint32_t count;
    };

    void PushReport(const Report& r, uint32_t count = 64) {
        Push({qds::plat::HidIo::Done, count, r});
    }
    void PushReadFailure() { Push({qds::plat::HidIo::Failed, 0, Report{}}); }
    // The next writes end like this, in order; after them every write succeeds.
    void PushWrite(qds::plat::HidIo io, uint32_t count) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_writes.push_back({io, count});
    }

    // Waits until the reader has taken `n` scripted reads and asked for the next one, i.e. it
    // has dealt with the first n completely.
    void WaitReadsHandled(size_t n) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [&] { return m_readCalls > n; });
    }
    void WaitClosed() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [&] { return m_closes > 0; });
    }

    int StopRequests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stopRequests;
    }
    int Closes() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closes;
    }
    std::vector<Report> Written() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_written;
    }
    std::vector<uint32_t> WriteTimeouts() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_timeouts;
    }

  private:
    friend class ScriptedHidDevice;
    void Push(const ReadStep& step) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reads.push_back(step);
        m_cv.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<ReadStep> m_reads;
    std::deque<WriteStep> m_writes;
    std::vector<Report> m_written;
    std::vector<uint32_t> m_timeouts;
    size_t m_readCalls = 0;
    bool m_stop = false;
    int m_stopRequests = 0;
    int m_closes = 0;
};

class ScriptedHidDevice final : public qds::hid::IHidReportDevice {
  public:
    explicit ScriptedHidDevice(std::shared_ptr<Script> script) : m_script(std::move(script)) {}

    bool IsOpen() const override { return m_bOpen.load(std::memory_order_acquire); }

    qds::plat::HidIo ReadReport(uint8_t* report, uint32_t& count) override {
        Script& s = *m_script;
        std::unique_lock<std::mutex> lock(s.m_mutex);
        ++s.m_readCalls;
        s.m_cv.notify_all();
        s.m_cv.wait(lock, [&] { return s.m_stop || !s.m_reads.empty(); });
        if (s.m_stop) return qds::plat::HidIo::Stopped;
        const Script::ReadStep step = s.m_reads.front();
        s.m_reads.pop_front();
        std::copy(step.report.begin(), step.report.end(), report);
        count = step.count;
        return step.io;
    }

    void RequestStop() override {
        Script& s = *m_script;
        std::lock_guard<std::mutex> lock(s.m_mutex);
        s.m_stop = true;
        ++s.m_stopRequests;
        s.m_cv.notify_all();
    }

    qds::plat::HidIo WriteReport(const uint8_t* report, uint32_t& count,
                                 uint32_t timeoutMs) override {
        Script& s = *m_script;
        std::lock_guard<std::mutex> lock(s.m_mutex);
        Report r;
        std::copy(report, report + r.size(), r.begin());
        s.m_written.push_back(r);
        s.m_timeouts.push_back(timeoutMs);
        Script::WriteStep step{qds::plat::HidIo::Done, 64};
        if (!s.m_writes.empty()) {
            step = s.m_writes.front();
            s.m_writes.pop_front();
        }
        count = step.count;
        return step.io;
    }

    void Close() override {
        Script& s = *m_script;
        std::lock_guard<std::mutex> lock(s.m_mutex);
        ++s.m_closes;
        m_bOpen.store(false, std::memory_order_release);
        s.m_cv.notify_all();
    }

  private:
    std::shared_ptr<Script> m_script;
    std::atomic<bool> m_bOpen{true};
};

// Opens a device object over a fresh script.
inline qds::hid::HidPosDevice* OpenScripted(const std::shared_ptr<Script>& script) {
    return qds::hid::HidPosDevice::Create(std::make_unique<ScriptedHidDevice>(script));
}

}  // namespace hid_test
