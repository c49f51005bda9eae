// The timing of a serial line as a receiver sees it: characters take 10 bit times each at the
// configured baud rate, and a USB-serial adapter (optional) holds what arrives and forwards
// it in bursts. Pure arithmetic on nanosecond times; the simulator's writer thread asks it
// what is due and writes that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <vector>

namespace sim {

struct LineTiming {
    uint32_t baud = 0;       // 0: no pacing, a write goes out whole at once
    uint32_t adapterMs = 0;  // 0: no adapter; else its latency timer in milliseconds
};

// What the host receives at one moment: one write to the device.
struct Delivery {
    int64_t atNs;
    std::string bytes;
};

class CLineModel {
  public:
    static constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
    // An FTDI chip forwards at once when its buffer holds this many bytes.
    static constexpr size_t kAdapterBuffer = 62;

    // originNs: when the adapter's latency timer started (the simulated plug-in).
    CLineModel(const LineTiming& timing, int64_t originNs);

    // Nanoseconds one character takes on the line (0 without pacing).
    int64_t CharNs() const { return m_charNs; }

    // Puts bytes on the line after everything put before, not before notBeforeNs. Returns
    // when their last character has fully crossed the line (before any adapter delay).
    int64_t Put(const std::string& bytes, int64_t notBeforeNs);
    // When the line is free again (the last character put has crossed it).
    int64_t LineFreeNs() const { return m_lineFree; }

    // The deliveries due at or before nowNs, oldest first; each as one write.
    std::vector<Delivery> Due(int64_t nowNs);
    // When the next delivery is due (kNever when nothing is on its way).
    int64_t NextNs() const;

  private:
    struct InFlight {
        int64_t atNs;  // the character has crossed the line
        uint64_t put;  // which Put it came from: without an adapter, one write per Put
        char byte;
    };
    int64_t NextTick() const { return m_lastTransfer + m_periodNs; }

    const int64_t m_charNs;
    const int64_t m_periodNs;  // 0 without an adapter
    int64_t m_lineFree;
    int64_t m_lastTransfer;  // the adapter's last transfer to the host; its timer restarts then
    std::deque<InFlight> m_inFlight;
    uint64_t m_puts = 0;
    std::string m_held;  // in the adapter, not yet forwarded
};

}  // namespace sim
