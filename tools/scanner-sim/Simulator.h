// The simulated scanner on its device: a reader thread feeds what the host sends to the
// byte logic (CScanner), a line thread puts what the scanner sends on the wire with the
// configured line timing (CLineModel), and Execute runs one control command.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Line.h"
#include "Scanner.h"
#include "platform/hid_standin.h"
#include "platform/pty.h"
#include "platform/udp.h"

namespace sim {

enum class Mode { Pty, Udp, Stdio, Hid };

struct SimOptions {
    int devType = 0;
    Mode mode = Mode::Pty;
    std::string link, local, remote, record, hidRoot;
    ReplyMode reply = ReplyMode::Auto;
    LineTiming timing;      // pseudo-terminal and standard output only
    FILE* events = stdout;  // where "PTY <path>" and the like go
};

class CSimulator {
  public:
    explicit CSimulator(const SimOptions& o);
    ~CSimulator();
    CSimulator(const CSimulator&) = delete;
    CSimulator& operator=(const CSimulator&) = delete;

    bool Start();
    void Stop();
    // Runs one command line; returns its one-line answer.
    std::string Execute(const std::string& line);
    // The pseudo-terminal's slave path (pty mode, once started).
    std::string SlavePath();

  private:
    // Bytes to send in order, each piece after a pause (ms) once the previous one is out.
    struct Batch {
        std::vector<Bytes> pieces;
        std::vector<int> pauseMs;
        size_t count = 0;
    };
    struct WriteRecord {
        uint64_t endCount;  // bytes written in total once this write was done
        int64_t atNs;       // the monotonic clock just before the write
        bool ok;
    };

    bool OpenDevice();
    void ReadLoop();
    void HidLoop();
    void LineLoop();
    bool CreateHidNode();
    int32_t ReadDevice(uint8_t* buf, uint32_t size);
    bool WriteDevice(const Bytes& bytes);
    void Received(const Bytes& bytes);
    std::string Compose(const std::string& cmd, const std::vector<std::string>& args, Batch* out);
    // Queues a batch on the line (m_lineLock held); returns the byte count once it is out.
    uint64_t PutLocked(const Batch& batch, bool afterPrevious, int firstPauseMs);
    // Waits until the bytes up to endCount are written; "OK <count> t=<ns>" or "ERR ...".
    std::string AwaitWritten(std::unique_lock<std::mutex>& lock, uint64_t endCount, size_t count,
                             int64_t limitMs);

    // m_devLock for everyone but the HID loop: the loop holds the lock across its short polls
    // of the stand-in and would otherwise take it again at once, so a reply could wait behind
    // it round after round (a late acknowledgement under load). While anyone waits here, the
    // loop steps aside (m_devFree).
    class DevLock {
      public:
        explicit DevLock(CSimulator& s) : m_s(s) {
            ++m_s.m_devWaiting;
            m_lock = std::unique_lock<std::mutex>(m_s.m_devLock);
            --m_s.m_devWaiting;
        }
        ~DevLock() {
            m_lock.unlock();
            m_s.m_devFree.notify_all();
        }
        DevLock(const DevLock&) = delete;
        DevLock& operator=(const DevLock&) = delete;

      private:
        CSimulator& m_s;
        std::unique_lock<std::mutex> m_lock;
    };

    const SimOptions m_opt;
    std::mutex m_devLock;               // device object, scanner state, record file
    std::atomic<int> m_devWaiting{0};   // threads waiting in DevLock
    std::condition_variable m_devFree;  // with m_devLock: m_devWaiting dropped
    CScanner m_scanner;
    qds::plat::CPtyMaster m_pty;
    qds::plat::CUdpSocket m_udp;
    std::unique_ptr<qds::plat::CHidStandIn> m_hid;  // null while unplugged
    std::atomic<bool> m_hidConnected{false};
    std::ofstream m_record;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_unplugged{false};
    bool m_parked = false;  // the reader has closed the device and waits (under m_rxLock)
    std::thread m_reader;
    std::mutex m_rxLock;
    std::condition_variable m_rxCond;
    Bytes m_rx;

    // The line (all under m_lineLock; never held across a device write).
    std::mutex m_lineLock;
    std::condition_variable m_lineCond;
    CLineModel m_line;
    bool m_lineStop = false;
    uint64_t m_putCount = 0;           // bytes queued in total
    uint64_t m_writtenCount = 0;       // bytes written in total
    std::deque<WriteRecord> m_writes;  // the recent writes, for the answers' times
    std::thread m_lineThread;
    // afterreply: a batch sent once the next reply is out, and what became of it.
    bool m_armed = false;
    Batch m_armedBatch;
    int m_armedPauseMs = 0;
    uint64_t m_armedEnd = 0;  // 0 until it has been queued
};

}  // namespace sim
