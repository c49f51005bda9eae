#include "Simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "platform/sync.h"

namespace sim {

namespace {

int64_t NowNs() {
    // The monotonic clock (CLOCK_MONOTONIC on Linux, as Java's System.nanoTime).
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr size_t kWriteRecords = 4096;

}  // namespace

CSimulator::CSimulator(const SimOptions& o)
    : m_opt(o), m_scanner(o.devType, o.mode == Mode::Pty), m_line(o.timing, NowNs()) {
    m_scanner.SetReplyMode(o.reply);
    if (!o.record.empty()) m_record.open(o.record, std::ios::binary | std::ios::app);
}

CSimulator::~CSimulator() {
    Stop();
}

std::string CSimulator::SlavePath() {
    DevLock lock(*this);
    return m_pty.SlavePath();
}

bool CSimulator::Start() {
    DevLock lock(*this);
    if (!OpenDevice()) return false;
    m_lineThread = std::thread([this] { LineLoop(); });
    m_reader = std::thread([this] {
        if (m_opt.mode == Mode::Hid)
            HidLoop();
        else
            ReadLoop();
    });
    return true;
}

void CSimulator::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_rxLock);
        m_stop = true;
    }
    m_rxCond.notify_all();
    m_pty.Interrupt();
    m_udp.Interrupt();
    // Standard input cannot be interrupted; the process ends with the reader blocked.
    if (m_reader.joinable()) {
        if (m_opt.mode == Mode::Stdio)
            m_reader.detach();
        else
            m_reader.join();
    }
    {
        std::lock_guard<std::mutex> lock(m_lineLock);
        m_lineStop = true;
    }
    m_lineCond.notify_all();
    if (m_lineThread.joinable()) m_lineThread.join();
}

bool CSimulator::OpenDevice() {
    switch (m_opt.mode) {
        case Mode::Pty:
            if (!m_pty.Open()) return false;
            if (!m_opt.link.empty() && !qds::plat::ReplaceSymlink(m_pty.SlavePath(), m_opt.link))
                return false;
            std::fprintf(m_opt.events, "PTY %s\n", m_pty.SlavePath().c_str());
            break;
        case Mode::Udp:
            if (!m_udp.Open(m_opt.local, m_opt.remote)) return false;
            std::fprintf(m_opt.events, "UDP %u\n", static_cast<unsigned>(m_udp.LocalPort()));
            break;
        case Mode::Stdio:
            break;
        case Mode::Hid:
            if (!CreateHidNode()) return false;
            std::fprintf(m_opt.events, "HID %s\n", m_opt.hidRoot.c_str());
            break;
    }
    std::fflush(m_opt.events);
    return true;
}

int32_t CSimulator::ReadDevice(uint8_t* buf, uint32_t size) {
    switch (m_opt.mode) {
        case Mode::Pty:
            return m_pty.Read(buf, size, qds::plat::kInfinite);
        case Mode::Udp:
            return m_udp.Read(buf, size, qds::plat::kInfinite);
        case Mode::Hid:
            return -1;
        case Mode::Stdio: {
            const int c = std::fgetc(stdin);
            if (c == EOF) return -1;
            buf[0] = static_cast<uint8_t>(c);
            return 1;
        }
    }
    return -1;
}

void CSimulator::ReadLoop() {
    uint8_t buf[4096];
    while (!m_stop) {
        if (m_unplugged) {
            // Only this thread closes the device, so no read is running on it meanwhile.
            {
                DevLock lock(*this);
                m_pty.Close();
            }
            std::unique_lock<std::mutex> lock(m_rxLock);
            m_parked = true;
            m_rxCond.notify_all();
            m_rxCond.wait(lock, [this] { return !m_unplugged || m_stop; });
            m_parked = false;
            continue;
        }
        const int32_t n = ReadDevice(buf, sizeof buf);
        if (n > 0) {
            Received(Bytes(reinterpret_cast<char*>(buf), static_cast<size_t>(n)));
        } else if (n < 0 && m_opt.mode == Mode::Stdio) {
            break;
        } else if (n < 0 && !m_unplugged) {
            // Not expected: a pty master or socket that fails. Give up on the device.
            std::fprintf(stderr, "scanner-sim: device read failed\n");
            break;
        }
    }
}

void CSimulator::Received(const Bytes& bytes) {
    std::vector<Bytes> replies;
    {
        DevLock lock(*this);
        if (m_record.is_open()) {
            m_record.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            m_record.flush();
        }
        replies = m_scanner.Receive(bytes);
    }
    {
        std::lock_guard<std::mutex> lock(m_rxLock);
        m_rx += bytes;
    }
    m_rxCond.notify_all();
    // The replies go on the line like everything the scanner sends; an armed batch follows
    // the first of them after its pause.
    bool replied = false;
    {
        std::lock_guard<std::mutex> lock(m_lineLock);
        for (const Bytes& r : replies) {
            if (r.empty()) continue;
            Batch one;
            one.pieces.push_back(r);
            one.pauseMs.push_back(0);
            one.count = r.size();
            PutLocked(one, false, 0);
            replied = true;
        }
        if (replied && m_armed) {
            m_armed = false;
            m_armedEnd = PutLocked(m_armedBatch, true, m_armedPauseMs);
        }
    }
    if (replied) m_lineCond.notify_all();
}

uint64_t CSimulator::PutLocked(const Batch& batch, bool afterPrevious, int firstPauseMs) {
    const int64_t now = NowNs();
    for (size_t i = 0; i < batch.pieces.size(); ++i) {
        const bool chained = afterPrevious || i > 0;
        const int pauseMs = i == 0 ? firstPauseMs : batch.pauseMs[i];
        const int64_t after = m_line.LineFreeNs() + INT64_C(1000000) * pauseMs;
        m_line.Put(batch.pieces[i], chained ? std::max(now, after) : now);
        m_putCount += batch.pieces[i].size();
    }
    return m_putCount;
}

// Writes what the line model says is due, when it is due. The device is written without
// m_lineLock held, so commands and replies can be queued meanwhile.
void CSimulator::LineLoop() {
    std::unique_lock<std::mutex> lock(m_lineLock);
    while (!m_lineStop) {
        std::vector<Delivery> due = m_line.Due(NowNs());
        if (!due.empty()) {
            for (const Delivery& d : due) {
                lock.unlock();
                const int64_t at = NowNs();
                const bool ok = WriteDevice(d.bytes);
                lock.lock();
                m_writtenCount += d.bytes.size();
                m_writes.push_back({m_writtenCount, at, ok});
                if (m_writes.size() > kWriteRecords) m_writes.pop_front();
            }
            m_lineCond.notify_all();
            continue;
        }
        const int64_t next = m_line.NextNs();
        if (next == CLineModel::kNever) {
            m_lineCond.wait(lock);
        } else {
            m_lineCond.wait_until(
                lock, std::chrono::steady_clock::time_point(std::chrono::nanoseconds(next)));
        }
    }
}

std::string CSimulator::AwaitWritten(std::unique_lock<std::mutex>& lock, uint64_t endCount,
                                     size_t count, int64_t limitMs) {
    const uint64_t startCount = endCount - count;
    const bool done = m_lineCond.wait_for(lock, std::chrono::milliseconds(limitMs),
                                          [&] { return m_writtenCount >= endCount || m_lineStop; });
    if (!done) return "ERR timeout";
    if (m_writtenCount < endCount) return "ERR stopped";
    int64_t lastWriteNs = 0;
    bool ok = true;
    for (const WriteRecord& w : m_writes) {
        if (w.endCount <= startCount) continue;
        ok = ok && w.ok;
        lastWriteNs = w.atNs;
        if (w.endCount >= endCount) break;
    }
    if (!ok) return "ERR device write failed";
    return "OK " + std::to_string(count) + " t=" + std::to_string(lastWriteNs);
}

bool CSimulator::WriteDevice(const Bytes& bytes) {
    DevLock lock(*this);
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto n = static_cast<uint32_t>(bytes.size());
    switch (m_opt.mode) {
        case Mode::Pty:
            return m_pty.IsOpen() && m_pty.Write(p, n) == static_cast<int32_t>(n);
        case Mode::Udp:
            return m_udp.Write(p, n) == static_cast<int32_t>(n);
        case Mode::Stdio:
            return std::fwrite(p, 1, n, stdout) == n && std::fflush(stdout) == 0;
        case Mode::Hid: {
            // Input reports: id 2, payload length, up to 56 payload bytes, zero-filled.
            if (!m_hid || !m_hidConnected) return false;
            for (uint32_t off = 0; off < n; off += 56) {
                uint8_t report[64] = {2};
                const uint32_t chunk = std::min<uint32_t>(56, n - off);
                report[1] = static_cast<uint8_t>(chunk);
                std::memcpy(report + 2, p + off, chunk);
                if (!m_hid->SendReport(report, 64)) return false;
            }
            return true;
        }
    }
    return false;
}

bool CSimulator::CreateHidNode() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path root(m_opt.hidRoot);
    const fs::path dev = root / "sys" / "class" / "hidraw" / "hidraw0" / "device";
    fs::create_directories(dev, ec);
    fs::create_directories(root / "dev", ec);
    std::ofstream(dev / "uevent") << "DRIVER=hid-generic\nHID_ID=0003:00006A2F:00000A10\n"
                                     "HID_NAME=Simulated HID-POS scanner\n";
    m_hid = qds::plat::CHidStandIn::Create((root / "dev" / "hidraw0").string(), 0);
    m_hidConnected = false;
    return m_hid != nullptr;
}

// The stand-in serves one thread at a time, so every call on it holds m_devLock; the waits
// are short, and the loop lets anyone waiting for the lock (DevLock) go first, so that labels
// and replies go out at once.
void CSimulator::HidLoop() {
    constexpr uint32_t kStepMs = 10;  // the longest a writer waits for the device lock
    while (!m_stop) {
        uint8_t report[64];
        int32_t n = 0;
        {
            std::unique_lock<std::mutex> lock(m_devLock);
            m_devFree.wait(lock, [this] { return m_devWaiting.load() == 0 || m_stop; });
            if (!m_hid) {
                lock.unlock();
                std::unique_lock<std::mutex> rx(m_rxLock);
                m_rxCond.wait(rx, [this] { return !m_unplugged || m_stop; });
                continue;
            }
            if (!m_hidConnected) {
                const bool accepted = m_hid->Accept(kStepMs);
                if (accepted) {
                    {
                        std::lock_guard<std::mutex> rx(m_rxLock);
                        m_hidConnected = true;
                    }
                    m_rxCond.notify_all();
                }
                continue;
            }
            n = m_hid->ReceiveReport(report, sizeof report, kStepMs);
            if (n == 0) {  // the host closed the device
                m_hid->Unplug();
                m_hidConnected = false;
                continue;
            }
        }
        // Output reports: id 4, payload length 1 to 56, payload.
        if (n == 64 && report[0] == 4 && report[1] >= 1 && report[1] <= 56) {
            Received(Bytes(reinterpret_cast<char*>(report + 2), report[1]));
        }
    }
}

// The bytes of a scan or raw command: scan SYM TEXT [SYM TEXT ...], raw HEX [HEX ...]; each
// label cut in `chunks` pieces `gap` ms apart, labels `pause` ms apart.
std::string CSimulator::Compose(const std::string& cmd, const std::vector<std::string>& args,
                                Batch* out) {
    int chunks = 1, gapMs = 50, pauseMs = 0, version = 2;
    uint8_t modifier = 0x30;
    std::vector<std::string> plain;
    for (const std::string& a : args) {
        if (a.rfind("chunks=", 0) == 0)
            chunks = std::atoi(a.c_str() + 7);
        else if (a.rfind("gap=", 0) == 0)
            gapMs = std::max(0, std::atoi(a.c_str() + 4));
        else if (a.rfind("pause=", 0) == 0)
            pauseMs = std::max(0, std::atoi(a.c_str() + 6));
        else if (a.rfind("mod=", 0) == 0) {
            Bytes b;
            if (!FromHex(a.substr(4), &b) || b.size() != 1) return "ERR bad mod";
            modifier = static_cast<uint8_t>(b[0]);
        } else if (a == "v1")
            version = 1;
        else if (a == "v2")
            version = 2;
        else
            plain.push_back(a);
    }
    std::vector<Bytes> items;
    if (cmd == "scan") {
        if (plain.empty() || plain.size() % 2 != 0) return "ERR usage: scan SYM TEXT [SYM TEXT]";
        for (size_t i = 0; i < plain.size(); i += 2) {
            const Symbology* sym = FindSymbology(plain[i]);
            if (sym == nullptr) return "ERR unknown symbology " + plain[i];
            Bytes frame;
            std::string why;
            if (!m_scanner.BuildLabel(*sym, Unescape(plain[i + 1]), version, modifier, &frame,
                                      &why)) {
                return "ERR " + why;
            }
            items.push_back(frame);
        }
    } else if (cmd == "raw") {
        if (plain.empty()) return "ERR usage: raw HEX [HEX]";
        for (const std::string& hex : plain) {
            Bytes b;
            if (!FromHex(hex, &b)) return "ERR usage: raw HEX [HEX]";
            items.push_back(b);
        }
    } else {
        return "ERR only scan or raw can be sent";
    }
    *out = Batch();
    for (size_t k = 0; k < items.size(); ++k) {
        const Bytes& bytes = items[k];
        int n = std::max(1, std::min<int>(chunks, static_cast<int>(bytes.size())));
        const size_t per = (bytes.size() + static_cast<size_t>(n) - 1) / static_cast<size_t>(n);
        for (size_t off = 0; off < bytes.size() || off == 0; off += per) {
            out->pieces.push_back(bytes.substr(off, per));
            out->pauseMs.push_back(off > 0 ? gapMs : (k > 0 ? pauseMs : 0));
            if (bytes.empty()) break;
        }
        out->count += bytes.size();
    }
    return "OK";
}

std::string CSimulator::Execute(const std::string& line) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    std::vector<std::string> args;
    for (std::string a; in >> a;) args.push_back(a);
    std::vector<std::string> plain;  // the arguments that are not options
    for (const std::string& a : args) {
        if (a.find('=') == std::string::npos && a != "v1" && a != "v2") plain.push_back(a);
    }
    if (cmd == "ping") return "OK";
    if (cmd == "scan" || cmd == "raw") {
        Batch batch;
        const std::string composed = Compose(cmd, args, &batch);
        if (composed != "OK") return composed;
        if (batch.count == 0) {  // nothing for the line; a datagram may still be empty
            const int64_t at = NowNs();
            if (!WriteDevice(Bytes())) return "ERR device write failed";
            return "OK 0 t=" + std::to_string(at);
        }
        std::unique_lock<std::mutex> lock(m_lineLock);
        const uint64_t end = PutLocked(batch, false, 0);
        m_lineCond.notify_all();
        return AwaitWritten(lock, end, batch.count, INT64_C(3600000));
    }
    if (cmd == "afterreply") {
        // afterreply MS scan|raw ...: once the scanner has sent its next reply, MS later.
        if (args.size() < 2) return "ERR usage: afterreply MS scan|raw ...";
        Batch batch;
        const std::string composed =
            Compose(args[1], std::vector<std::string>(args.begin() + 2, args.end()), &batch);
        if (composed != "OK") return composed;
        if (batch.count == 0) return "ERR nothing to send";
        std::lock_guard<std::mutex> lock(m_lineLock);
        m_armed = true;
        m_armedBatch = batch;
        m_armedPauseMs = std::max(0, std::atoi(args[0].c_str()));
        m_armedEnd = 0;
        return "OK armed";
    }
    if (cmd == "waitsent") {
        // waitsent MS: waits for the batch of the last afterreply to be out.
        if (plain.size() != 1) return "ERR usage: waitsent MS";
        const int64_t limit = std::atol(plain[0].c_str());
        std::unique_lock<std::mutex> lock(m_lineLock);
        if (!m_armed && m_armedEnd == 0) return "ERR nothing armed";
        if (!m_lineCond.wait_for(lock, std::chrono::milliseconds(limit),
                                 [this] { return m_armedEnd != 0 || m_lineStop; }))
            return "ERR timeout: no reply yet";
        if (m_armedEnd == 0) return "ERR stopped";
        return AwaitWritten(lock, m_armedEnd, m_armedBatch.count, limit);
    }
    if (cmd == "reply") {
        ReplyMode mode;
        if (plain.size() != 1 || !ParseReplyMode(plain[0], &mode)) return "ERR bad mode";
        DevLock lock(*this);
        m_scanner.SetReplyMode(mode);
        return "OK";
    }
    if (cmd == "rx") {
        std::lock_guard<std::mutex> lock(m_rxLock);
        return "RX " + ToHex(m_rx);
    }
    if (cmd == "rxclear") {
        std::lock_guard<std::mutex> lock(m_rxLock);
        m_rx.clear();
        return "OK";
    }
    if (cmd == "waitrx") {
        if (plain.size() != 2) return "ERR usage: waitrx N MS";
        const size_t want = static_cast<size_t>(std::atol(plain[0].c_str()));
        const auto limit = std::chrono::milliseconds(std::atol(plain[1].c_str()));
        std::unique_lock<std::mutex> lock(m_rxLock);
        const bool ok = m_rxCond.wait_for(lock, limit, [&] { return m_rx.size() >= want; });
        return (ok ? "RX " : "ERR timeout RX ") + ToHex(m_rx);
    }
    if (cmd == "waitconnect") {
        if (m_opt.mode != Mode::Hid || plain.size() != 1) return "ERR usage: waitconnect MS";
        const auto limit = std::chrono::milliseconds(std::atol(plain[0].c_str()));
        std::unique_lock<std::mutex> lock(m_rxLock);
        const bool ok = m_rxCond.wait_for(lock, limit, [this] { return m_hidConnected.load(); });
        return ok ? "OK" : "ERR timeout";
    }
    if (m_opt.mode == Mode::Hid && (cmd == "unplug" || cmd == "replug")) {
        DevLock lock(*this);
        if (cmd == "unplug") {
            m_hid.reset();  // the connection and the node go away
            m_hidConnected = false;
            m_unplugged = true;
            return "OK";
        }
        if (!m_unplugged) return "ERR not unplugged";
        if (!CreateHidNode()) return "ERR cannot create the node";
        {
            std::lock_guard<std::mutex> rx(m_rxLock);
            m_unplugged = false;
        }
        m_rxCond.notify_all();
        return "OK";
    }
    if (cmd == "unplug") {
        if (m_opt.mode != Mode::Pty) return "ERR only on a pseudo-terminal";
        if (m_unplugged) return "ERR already unplugged";
        std::unique_lock<std::mutex> lock(m_rxLock);
        m_unplugged = true;
        m_pty.Interrupt();
        m_rxCond.wait(lock, [this] { return m_parked; });
        if (!m_opt.link.empty()) qds::plat::RemoveFile(m_opt.link);
        return "OK";
    }
    if (cmd == "replug") {
        if (m_opt.mode != Mode::Pty) return "ERR only on a pseudo-terminal";
        std::unique_lock<std::mutex> lock(m_rxLock);
        if (!m_unplugged || !m_parked) return "ERR not unplugged";
        {
            DevLock dev(*this);
            if (!OpenDevice()) return "ERR cannot open a pseudo-terminal";
        }
        m_unplugged = false;
        m_rxCond.notify_all();
        return "OK " + m_pty.SlavePath();
    }
    if (cmd == "symbologies") {
        std::string out = "OK";
        for (const Symbology* s = AllSymbologies(); s->name; ++s) {
            out += " " + std::string(s->name) + "=" + std::to_string(s->scanDataType);
        }
        return out;
    }
    return "ERR unknown command " + cmd;
}

}  // namespace sim
