// scanner-sim: a simulated barcode scanner of device type 1, 2, 3 or 4 for tests and the demo.
//
//   scanner-sim --type N --pty [--link PATH]       serial line on a pseudo-terminal
//   scanner-sim --type N --udp LOCAL REMOTE        datagrams (LOCAL and REMOTE "host:port")
//   scanner-sim --type N --stdio                   bytes on standard input and output
//   scanner-sim --type N --hid FOLDER              a HID-POS scanner (vendor 6a2f, product
//                                                  0a10) for Vantrel's Linux backend: FOLDER/sys
//                                                  and FOLDER/dev are its VANTREL_SYSFS_ROOT and
//                                                  VANTREL_DEV_DIR
// Options: --record FILE (append every received byte), --reply MODE, --control FILE (where
// the commands come from: standard input by default; --stdio needs it, a named pipe serves).
//
// Commands, one per line; each is answered with one line "OK ...", "RX <hex>" or
// "ERR <reason>" on standard output (standard error with --stdio); scan and raw answer
// "OK <count> t=<ns>", the monotonic clock just before their last write:
//   scan SYM TEXT [v1|v2] [mod=HH] [chunks=N] [gap=MS]   send a label (TEXT may hold \xHH)
//   raw HEX [chunks=N] [gap=MS]                          send bytes as they are
//   reply MODE                                           auto ack nak r20 r21 bang bracket end none
//   rx | rxclear | waitrx N MS                           bytes received so far (hex)
//   unplug | replug                                      pseudo-terminal and HID: the device goes
//                                                        away / comes back (pty: a new slave,
//                                                        --link re-pointed)
//   waitconnect MS                                       HID: wait until the host has opened us
//   symbologies | ping | quit
// Events, on the same stream as the answers: "PTY <path>", "UDP <port>", "READY".
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Scanner.h"
#include "platform/hid_standin.h"
#include "platform/pty.h"
#include "platform/sync.h"
#include "platform/udp.h"

namespace {

using sim::Bytes;

enum class Mode { Pty, Udp, Stdio, Hid };

FILE* g_events = stdout;  // set once in main before any thread starts
void SetEventStream(FILE* f) {
    g_events = f;
}

struct Options {
    int devType = 0;
    Mode mode = Mode::Pty;
    bool modeGiven = false;
    std::string link, local, remote, record, control, hidRoot;
    sim::ReplyMode reply = sim::ReplyMode::Auto;
};

class CSimulator {
  public:
    explicit CSimulator(const Options& o) : m_opt(o), m_scanner(o.devType, o.mode == Mode::Pty) {
        m_scanner.SetReplyMode(o.reply);
        if (!o.record.empty()) m_record.open(o.record, std::ios::binary | std::ios::app);
    }

    bool Start() {
        std::lock_guard<std::mutex> lock(m_devLock);
        if (!OpenDevice()) return false;
        m_reader = std::thread([this] {
            if (m_opt.mode == Mode::Hid)
                HidLoop();
            else
                ReadLoop();
        });
        return true;
    }

    void Stop() {
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
    }

    std::string Execute(const std::string& line);

  private:
    bool OpenDevice();
    void ReadLoop();
    void HidLoop();
    bool CreateHidNode();
    int32_t ReadDevice(uint8_t* buf, uint32_t size);
    bool WriteDevice(const Bytes& bytes);
    void Received(const Bytes& bytes);
    std::string Send(const Bytes& bytes, int chunks, int gapMs);

    const Options m_opt;
    std::mutex m_devLock;  // device object, scanner state, record file
    sim::CScanner m_scanner;
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
};

bool CSimulator::OpenDevice() {
    switch (m_opt.mode) {
        case Mode::Pty:
            if (!m_pty.Open()) return false;
            if (!m_opt.link.empty() && !qds::plat::ReplaceSymlink(m_pty.SlavePath(), m_opt.link))
                return false;
            std::fprintf(g_events, "PTY %s\n", m_pty.SlavePath().c_str());
            break;
        case Mode::Udp:
            if (!m_udp.Open(m_opt.local, m_opt.remote)) return false;
            std::fprintf(g_events, "UDP %u\n", static_cast<unsigned>(m_udp.LocalPort()));
            break;
        case Mode::Stdio:
            break;
        case Mode::Hid:
            if (!CreateHidNode()) return false;
            std::fprintf(g_events, "HID %s\n", m_opt.hidRoot.c_str());
            break;
    }
    std::fflush(g_events);
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
                std::lock_guard<std::mutex> lock(m_devLock);
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
        std::lock_guard<std::mutex> lock(m_devLock);
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
    for (const Bytes& r : replies) WriteDevice(r);
}

bool CSimulator::WriteDevice(const Bytes& bytes) {
    std::lock_guard<std::mutex> lock(m_devLock);
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
// are short so that labels can go out in between.
void CSimulator::HidLoop() {
    constexpr uint32_t kStepMs = 50;
    while (!m_stop) {
        uint8_t report[64];
        int32_t n = 0;
        {
            std::unique_lock<std::mutex> lock(m_devLock);
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

std::string CSimulator::Send(const Bytes& bytes, int chunks, int gapMs) {
    if (chunks < 1) chunks = 1;
    if (static_cast<size_t>(chunks) > bytes.size()) chunks = static_cast<int>(bytes.size());
    if (chunks < 1) chunks = 1;
    const size_t per = (bytes.size() + static_cast<size_t>(chunks) - 1) / chunks;
    int64_t lastWriteNs = 0;
    for (size_t off = 0; off < bytes.size() || off == 0; off += per) {
        if (off > 0 && gapMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        const Bytes piece = bytes.substr(off, per);
        // The monotonic clock (CLOCK_MONOTONIC on Linux, as Java's System.nanoTime) just
        // before the last write, for latency measurements.
        lastWriteNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
        if (!WriteDevice(piece)) return "ERR device write failed";
        if (bytes.empty()) break;
    }
    return "OK " + std::to_string(bytes.size()) + " t=" + std::to_string(lastWriteNs);
}

std::string CSimulator::Execute(const std::string& line) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    std::vector<std::string> args;
    for (std::string a; in >> a;) args.push_back(a);
    int chunks = 1, gapMs = 50, version = 2;
    uint8_t modifier = 0x30;
    std::vector<std::string> plain;
    for (const std::string& a : args) {
        if (a.rfind("chunks=", 0) == 0)
            chunks = std::atoi(a.c_str() + 7);
        else if (a.rfind("gap=", 0) == 0)
            gapMs = std::atoi(a.c_str() + 4);
        else if (a.rfind("mod=", 0) == 0) {
            Bytes b;
            if (!sim::FromHex(a.substr(4), &b) || b.size() != 1) return "ERR bad mod";
            modifier = static_cast<uint8_t>(b[0]);
        } else if (a == "v1")
            version = 1;
        else if (a == "v2")
            version = 2;
        else
            plain.push_back(a);
    }
    if (cmd == "ping") return "OK";
    if (cmd == "scan") {
        if (plain.size() != 2) return "ERR usage: scan SYM TEXT";
        const sim::Symbology* sym = sim::FindSymbology(plain[0]);
        if (sym == nullptr) return "ERR unknown symbology " + plain[0];
        Bytes frame;
        std::string why;
        if (!m_scanner.BuildLabel(*sym, sim::Unescape(plain[1]), version, modifier, &frame, &why)) {
            return "ERR " + why;
        }
        return Send(frame, chunks, gapMs);
    }
    if (cmd == "raw") {
        Bytes b;
        if (plain.size() != 1 || !sim::FromHex(plain[0], &b)) return "ERR usage: raw HEX";
        return Send(b, chunks, gapMs);
    }
    if (cmd == "reply") {
        sim::ReplyMode mode;
        if (plain.size() != 1 || !sim::ParseReplyMode(plain[0], &mode)) return "ERR bad mode";
        std::lock_guard<std::mutex> lock(m_devLock);
        m_scanner.SetReplyMode(mode);
        return "OK";
    }
    if (cmd == "rx") {
        std::lock_guard<std::mutex> lock(m_rxLock);
        return "RX " + sim::ToHex(m_rx);
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
        return (ok ? "RX " : "ERR timeout RX ") + sim::ToHex(m_rx);
    }
    if (cmd == "waitconnect") {
        if (m_opt.mode != Mode::Hid || plain.size() != 1) return "ERR usage: waitconnect MS";
        const auto limit = std::chrono::milliseconds(std::atol(plain[0].c_str()));
        std::unique_lock<std::mutex> lock(m_rxLock);
        const bool ok = m_rxCond.wait_for(lock, limit, [this] { return m_hidConnected.load(); });
        return ok ? "OK" : "ERR timeout";
    }
    if (m_opt.mode == Mode::Hid && (cmd == "unplug" || cmd == "replug")) {
        std::lock_guard<std::mutex> lock(m_devLock);
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
            std::lock_guard<std::mutex> dev(m_devLock);
            if (!OpenDevice()) return "ERR cannot open a pseudo-terminal";
        }
        m_unplugged = false;
        m_rxCond.notify_all();
        return "OK " + m_pty.SlavePath();
    }
    if (cmd == "symbologies") {
        std::string out = "OK";
        for (const sim::Symbology* s = sim::AllSymbologies(); s->name; ++s) {
            out += " " + std::string(s->name) + "=" + std::to_string(s->scanDataType);
        }
        return out;
    }
    return "ERR unknown command " + cmd;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: scanner-sim --type 1|2|3|4 (--pty [--link PATH] | --udp LOCAL REMOTE "
                 "| --stdio --control FILE) [--control FILE] [--record FILE] [--reply MODE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--type" && next(&v)) {
            o.devType = std::atoi(v.c_str());
        } else if (a == "--pty") {
            o.mode = Mode::Pty;
            o.modeGiven = true;
        } else if (a == "--link" && next(&o.link)) {
        } else if (a == "--udp" && next(&o.local) && next(&o.remote)) {
            o.mode = Mode::Udp;
            o.modeGiven = true;
        } else if (a == "--hid" && next(&o.hidRoot)) {
            o.mode = Mode::Hid;
            o.modeGiven = true;
        } else if (a == "--stdio") {
            o.mode = Mode::Stdio;
            o.modeGiven = true;
        } else if (a == "--control" && next(&o.control)) {
        } else if (a == "--record" && next(&o.record)) {
        } else if (a == "--reply" && next(&v)) {
            if (!sim::ParseReplyMode(v, &o.reply)) return Usage();
        } else {
            return Usage();
        }
    }
    if (o.devType < 1 || o.devType > 4 || !o.modeGiven) return Usage();
    if (o.mode == Mode::Stdio && o.control.empty()) {
        std::fprintf(stderr, "--stdio needs --control FILE for its commands\n");
        return 2;
    }
    FILE* events = o.mode == Mode::Stdio ? stderr : stdout;
    SetEventStream(events);

    CSimulator simulator(o);
    if (!simulator.Start()) {
        std::fprintf(stderr, "scanner-sim: cannot open the device\n");
        return 1;
    }
    std::ifstream controlFile;
    if (!o.control.empty()) {
        controlFile.open(o.control);
        if (!controlFile) {
            std::fprintf(stderr, "scanner-sim: cannot read %s\n", o.control.c_str());
            simulator.Stop();
            return 1;
        }
    }
    std::istream& commands = o.control.empty() ? std::cin : controlFile;
    std::fprintf(events, "READY\n");
    std::fflush(events);
    std::string line;
    while (std::getline(commands, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "quit") break;
        if (line.empty()) continue;
        std::fprintf(events, "%s\n", simulator.Execute(line).c_str());
        std::fflush(events);
    }
    simulator.Stop();
    if (!o.link.empty()) qds::plat::RemoveFile(o.link);
    std::fflush(nullptr);
    // With --stdio the reader may still be blocked on standard input: leave at once.
    if (o.mode == Mode::Stdio) std::_Exit(0);
    return 0;
}
