#include "Line.h"

#include <algorithm>

namespace sim {

CLineModel::CLineModel(const LineTiming& timing, int64_t originNs)
    : m_charNs(timing.baud ? 10 * INT64_C(1000000000) / timing.baud : 0),
      m_periodNs(INT64_C(1000000) * timing.adapterMs),
      m_lineFree(originNs),
      m_lastTransfer(originNs) {}

int64_t CLineModel::Put(const std::string& bytes, int64_t notBeforeNs) {
    const int64_t start = std::max(notBeforeNs, m_lineFree);
    ++m_puts;
    int64_t at = start;
    for (char c : bytes) {
        at += m_charNs;  // a character has arrived once its stop bit is through
        m_inFlight.push_back({at, m_puts, c});
    }
    m_lineFree = at;
    return at;
}

int64_t CLineModel::NextNs() const {
    int64_t next = m_inFlight.empty() ? kNever : m_inFlight.front().atNs;
    if (m_periodNs > 0 && !m_held.empty()) next = std::min(next, NextTick());
    return next;
}

std::vector<Delivery> CLineModel::Due(int64_t nowNs) {
    std::vector<Delivery> out;
    if (m_periodNs == 0) {
        // Straight through: what has crossed the line is there, one write per Put.
        while (!m_inFlight.empty() && m_inFlight.front().atNs <= nowNs) {
            const uint64_t put = m_inFlight.front().put;
            Delivery d{0, {}};
            while (!m_inFlight.empty() && m_inFlight.front().atNs <= nowNs &&
                   m_inFlight.front().put == put) {
                d.atNs = m_inFlight.front().atNs;
                d.bytes.push_back(m_inFlight.front().byte);
                m_inFlight.pop_front();
            }
            out.push_back(std::move(d));
        }
        return out;
    }
    // The adapter: it sends what it holds when its latency timer runs out (the timer restarts
    // at every transfer, an empty status packet included) or at once when its buffer is full.
    for (;;) {
        const int64_t arrival = m_inFlight.empty() ? kNever : m_inFlight.front().atNs;
        const int64_t tick = m_held.empty() ? kNever : NextTick();
        if (std::min(arrival, tick) > nowNs) break;
        if (arrival <= tick) {
            if (m_held.empty() && arrival > m_lastTransfer) {
                // The timer ran out meanwhile with nothing to send: status packets only.
                m_lastTransfer += (arrival - m_lastTransfer) / m_periodNs * m_periodNs;
            }
            m_held.push_back(m_inFlight.front().byte);
            m_inFlight.pop_front();
            if (m_held.size() >= kAdapterBuffer) {
                out.push_back({arrival, std::move(m_held)});
                m_held.clear();
                m_lastTransfer = arrival;
            }
        } else {
            out.push_back({tick, std::move(m_held)});
            m_held.clear();
            m_lastTransfer = tick;
        }
    }
    return out;
}

}  // namespace sim
