// kolvex-doctor: shows a technician what the scanner stack sees on this machine.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tavrix/Params.h"
#include "tools/doctor/Doctor.h"
#include "tools/doctor/Framework.h"

namespace {

using namespace qds::doctor;

const char kUsage[] =
    "kolvex-doctor: what the Kolvex scanner stack sees on this machine\n"
    "\n"
    "usage: kolvex-doctor [OPTIONS] [COMMAND]\n"
    "  (no command)                the configuration, the serial ports and the HID-POS devices\n"
    "  config                      the configuration and where each value comes from\n"
    "  ports                       serial ports (and whether a program holds them), UDP settings\n"
    "  hid [PARAMS]                attached HID-POS scanners and which one PARAMS (e.g. id=0)\n"
    "                              or the configured Params select\n"
    "  open TYPE PARAMS            open a channel through Tavrix (TYPE COM, udp or HID; PARAMS\n"
    "                              e.g. \"com=7;baud=9600\", or - for none) and say why it fails\n"
    "  listen TYPE PARAMS SECONDS  open a channel and print each chunk received and each scan\n"
    "                              with its ScanDataType, for SECONDS seconds\n"
    "options:\n"
    "  --type N    device type 1 to 4 for listen's framing and decoding (default 3)\n"
    "  --count N   listen: stop after N scans\n"
    "  --lib DIR   the folder of the Tavrix library (default: beside kolvex-doctor, or ../lib)\n"
    "  --help      this text\n"
    "exit codes:\n"
    "  0  done; no problem found (listen: at least one scan)\n"
    "  2  wrong command line\n"
    "  3  configuration problem (listed at the end of the report)\n"
    "  4  open failed (the reason is printed)\n"
    "  5  listen received no scan\n"
    "  6  the Tavrix library could not be loaded\n";

int Usage(const char* why) {
    if (why != nullptr) std::fprintf(stderr, "kolvex-doctor: %s\n\n", why);
    std::fputs(kUsage, why != nullptr ? stderr : stdout);
    return why != nullptr ? kExitUsage : kExitOk;
}

bool ParseInt(const char* text, int low, int high, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high) return false;
    *out = static_cast<int>(v);
    return true;
}

int Finish(const std::vector<std::string>& problems) {
    qds::doctor::Heading("Result");
    if (problems.empty()) {
        std::printf("  no configuration problem found\n");
        return kExitOk;
    }
    for (const std::string& p : problems) std::printf("  PROBLEM: %s\n", p.c_str());
    return kExitConfig;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    std::string libDir;
    int devType = 3, maxScans = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--help" || a == "-h") return Usage(nullptr);
        if (a == "--lib" && hasValue) {
            libDir = argv[++i];
        } else if (a == "--type" && hasValue) {
            if (!ParseInt(argv[++i], 1, 4, &devType)) return Usage("--type takes 1 to 4");
        } else if (a == "--count" && hasValue) {
            if (!ParseInt(argv[++i], 1, 1000000, &maxScans)) return Usage("--count takes a number");
        } else if (a.compare(0, 2, "--") == 0) {
            return Usage(("unknown option " + a).c_str());
        } else {
            args.push_back(a);
        }
    }
    const std::string cmd = args.empty() ? std::string() : args[0];

    CFramework fw;
    std::string why;
    const bool loaded = fw.Load(libDir, &why);
    auto needFramework = [&]() {
        if (loaded) return true;
        std::printf("the Tavrix library could not be loaded: %s\n", why.c_str());
        return false;
    };

    if (cmd.empty() || cmd == "config" || cmd == "ports") {
        if (args.size() > 1) return Usage("too many arguments");
        std::printf("kolvex-doctor, framework %s\n",
                    loaded ? fw.Path().c_str() : ("not loaded: " + why).c_str());
        std::vector<std::string> problems;
        if (cmd != "ports") problems = ReportConfig(loaded ? fw.Path() : std::string());
        if (cmd != "config") {
            for (const std::string& p : ReportPorts(cmd == "ports")) problems.push_back(p);
        }
        if (cmd.empty()) ReportHid(nullptr);
        if (!loaded) problems.push_back("the Tavrix library could not be loaded: " + why);
        return Finish(problems);
    }
    if (cmd == "hid") {
        if (args.size() > 2) return Usage("hid takes at most PARAMS");
        const std::wstring params = args.size() == 2 ? qds::tvx::Widen(args[1]) : std::wstring();
        ReportHid(args.size() == 2 ? params.c_str() : nullptr);
        return kExitOk;
    }
    if (cmd == "open" || cmd == "listen") {
        const size_t want = cmd == "open" ? 3 : 4;
        if (args.size() != want) return Usage((cmd + ": wrong number of arguments").c_str());
        int seconds = 0;
        if (cmd == "listen" && !ParseInt(args[3].c_str(), 1, 86400, &seconds))
            return Usage("listen: SECONDS must be 1 to 86400");
        if (!needFramework()) return kExitNoFramework;
        const bool nullParams = args[2] == "-";
        if (cmd == "open") return OpenCommand(fw, args[1], args[2], nullParams);
        return ListenCommand(fw, args[1], args[2], nullParams, seconds, devType, maxScans);
    }
    return Usage(("unknown command " + cmd).c_str());
}
