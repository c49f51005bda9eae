// scanner-sim: a simulated barcode scanner of device type 1, 2, 3 or 4 for tests and the demo.
//
//   scanner-sim --type N --pty [--link PATH]       serial line on a pseudo-terminal
//   scanner-sim --type N --udp LOCAL REMOTE        datagrams (LOCAL and REMOTE "host:port")
//   scanner-sim --type N --stdio                   bytes on standard input and output
//   scanner-sim --type N --hid FOLDER              a HID-POS scanner (vendor 6a2f, product
//                                                  0a10) for Vantrel's Linux backend: FOLDER/sys
//                                                  and FOLDER/dev are its VANTREL_SYSFS_ROOT and
//                                                  VANTREL_DEV_DIR
// Options: --record FILE (append every received byte), --reply MODE,
//   --baud B          pace what the scanner sends like a line at B baud (10 bits a character)
//   --adapter-ms N    forward it like a USB-serial adapter: in bursts when its latency timer
//                     (N ms) runs out or its 62-byte buffer is full (pty and --stdio only)
//   --commands PATH   read the commands from PATH instead of standard input, and keep running
//                     at its end: a regular file is followed as it grows, a named pipe is
//                     opened again for the next writer; only "quit" or SIGTERM/SIGINT end it
//                     (--control PATH: the same; --stdio needs one of them)
//
// Commands, one per line; each is answered with one line "OK ...", "RX <hex>" or
// "ERR <reason>" on standard output (standard error with --stdio); scan and raw answer
// "OK <count> t=<ns>", the monotonic clock just before their last write:
//   scan SYM TEXT [SYM TEXT ...] [v1|v2] [mod=HH] [chunks=N] [gap=MS] [pause=MS]
//                                        send labels (TEXT may hold \xHH), PAUSE ms apart
//   raw HEX [HEX ...] [chunks=N] [gap=MS] [pause=MS]     send bytes as they are
//   afterreply MS scan ...|raw ...       once the next reply has gone out, send this MS later
//   waitsent MS                          wait until that has gone out: "OK <count> t=<ns>"
//   reply MODE                                           auto ack nak r20 r21 bang bracket end none
//   rx | rxclear | waitrx N MS                           bytes received so far (hex)
//   unplug | replug                                      pseudo-terminal and HID: the device goes
//                                                        away / comes back (pty: a new slave,
//                                                        --link re-pointed)
//   waitconnect MS                                       HID: wait until the host has opened us
//   symbologies | ping | quit
// Events, on the same stream as the answers: "PTY <path>", "UDP <port>", "READY".
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "Simulator.h"
#include "platform/pty.h"

namespace {

volatile std::sig_atomic_t g_signalled = 0;

extern "C" void OnSignal(int) {
    g_signalled = 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: scanner-sim --type 1|2|3|4 (--pty [--link PATH] | --udp LOCAL REMOTE "
                 "| --stdio --commands PATH | --hid FOLDER) [--commands PATH] [--record FILE] "
                 "[--reply MODE] [--baud B] [--adapter-ms N]\n");
    return 2;
}

bool ParseCount(const std::string& text, uint32_t max, uint32_t* out) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v > max) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

// Where the commands come from. Standard input ends the simulator when it closes (the parent
// went away); a --commands file or pipe does not: a file is followed as it grows, a named pipe
// is opened again when its writer closes it.
class CCommandSource {
  public:
    explicit CCommandSource(const std::string& path) : m_path(path) {}

    // A named pipe is only checked here: opening it waits for a writer, which Next does.
    bool Open() {
        if (m_path.empty()) return true;
        std::error_code ec;
        m_fifo = std::filesystem::is_fifo(m_path, ec);
        if (m_fifo) return true;
        m_file.open(m_path);
        return static_cast<bool>(m_file);
    }

    // The next line; false once the source has ended for good or a signal came.
    bool Next(std::string* line) {
        if (m_path.empty()) return static_cast<bool>(std::getline(std::cin, *line));
        for (;;) {
            if (g_signalled) return false;
            if (m_fifo && !m_file.is_open()) {
                m_file.open(m_path);
                if (!m_file) return false;
            }
            std::string part;
            if (std::getline(m_file, part)) {
                if (m_file.eof() && !m_fifo) {
                    m_partial += part;  // written only in part so far
                } else {
                    *line = m_partial + part;
                    m_partial.clear();
                    return true;
                }
            }
            m_file.clear();
            if (m_fifo) {
                // Every writer closed the pipe: what it left without an end of line counts,
                // then wait for the next writer.
                if (!m_partial.empty()) {
                    *line = m_partial;
                    m_partial.clear();
                    return true;
                }
                m_file.close();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }

  private:
    const std::string m_path;
    bool m_fifo = false;
    std::ifstream m_file;
    std::string m_partial;
};

}  // namespace

int main(int argc, char** argv) {
    sim::SimOptions o;
    bool modeGiven = false;
    std::string commands;
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
            o.mode = sim::Mode::Pty;
            modeGiven = true;
        } else if (a == "--link" && next(&o.link)) {
        } else if (a == "--udp" && next(&o.local) && next(&o.remote)) {
            o.mode = sim::Mode::Udp;
            modeGiven = true;
        } else if (a == "--hid" && next(&o.hidRoot)) {
            o.mode = sim::Mode::Hid;
            modeGiven = true;
        } else if (a == "--stdio") {
            o.mode = sim::Mode::Stdio;
            modeGiven = true;
        } else if ((a == "--commands" || a == "--control") && next(&commands)) {
        } else if (a == "--record" && next(&o.record)) {
        } else if (a == "--reply" && next(&v)) {
            if (!sim::ParseReplyMode(v, &o.reply)) return Usage();
        } else if (a == "--baud" && next(&v)) {
            if (!ParseCount(v, 4000000, &o.timing.baud) || o.timing.baud < 50) return Usage();
        } else if (a == "--adapter-ms" && next(&v)) {
            if (!ParseCount(v, 255, &o.timing.adapterMs) || o.timing.adapterMs < 1) return Usage();
        } else {
            return Usage();
        }
    }
    if (o.devType < 1 || o.devType > 4 || !modeGiven) return Usage();
    if (o.mode == sim::Mode::Stdio && commands.empty()) {
        std::fprintf(stderr, "--stdio needs --commands PATH for its commands\n");
        return 2;
    }
    if ((o.timing.baud || o.timing.adapterMs) && o.mode != sim::Mode::Pty &&
        o.mode != sim::Mode::Stdio) {
        std::fprintf(stderr, "--baud and --adapter-ms are for serial lines (--pty, --stdio)\n");
        return 2;
    }
    o.events = o.mode == sim::Mode::Stdio ? stderr : stdout;
    FILE* events = o.events;

    CCommandSource source(commands);
    if (!source.Open()) {
        std::fprintf(stderr, "scanner-sim: cannot read %s\n", commands.c_str());
        return 1;
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);

    sim::CSimulator simulator(o);
    if (!simulator.Start()) {
        std::fprintf(stderr, "scanner-sim: cannot open the device\n");
        return 1;
    }
    std::fprintf(events, "READY\n");
    std::fflush(events);

    // The commands are read on a thread of their own so that a signal ends the simulator even
    // while the read waits (on a pipe without a writer, on a file that does not grow).
    std::atomic<bool> done{false};
    std::thread reader([&] {
        std::string line;
        while (source.Next(&line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line == "quit") break;
            if (line.empty()) continue;
            std::fprintf(events, "%s\n", simulator.Execute(line).c_str());
            std::fflush(events);
        }
        done = true;
    });
    while (!done && !g_signalled) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool waiting = !done;  // the reader may be blocked in a read: it is left behind
    if (waiting)
        reader.detach();
    else
        reader.join();
    simulator.Stop();
    if (!o.link.empty()) qds::plat::RemoveFile(o.link);
    std::fflush(nullptr);
    // With --stdio the device reader, after a signal the command reader, may still be blocked.
    if (waiting || o.mode == sim::Mode::Stdio) std::_Exit(0);
    return 0;
}
