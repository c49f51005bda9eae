// The configuration as Kolvex and Tavrix read it, with where each value came from; the serial
// ports, the UDP settings and the attached HID-POS devices.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "hid_plugin/HidDiscovery.h"
#include "platform/diagnose.h"
#include "platform/dynlib.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/udp.h"
#include "tavrix/Params.h"
#include "tools/doctor/Doctor.h"
#include "trace/TraceLog.h"

namespace qds::doctor {

namespace {

constexpr const char* kTraceKey = "SOFTWARE\\ScannerConfig\\JposScanner";
constexpr const char* kSuffixKey = "SOFTWARE\\OLEForRetail\\ServiceOPOS\\Scanner";
constexpr const char* kTavrixKey = "SOFTWARE\\Tavrix\\";
// Tavrix's defaults for "udp" (see its README section).
constexpr const char* kDefaultLocal = "0.0.0.0:9101";
constexpr const char* kDefaultRemote = "127.0.0.1:9100";
constexpr int kMaxComPort = 256;

const char* ViewName(plat::RegView v) {
    return v == plat::RegView::View32 ? "32-bit view" : "64-bit view";
}

// The framework reads its keys in the view of the process's own width.
plat::RegView TavrixView() {
    return sizeof(void*) == 8 ? plat::RegView::View64 : plat::RegView::View32;
}

std::string Origin(const char* key, const char* value, plat::RegView view) {
    return std::string("registry HKLM\\") + key + " \"" + value + "\" (" + ViewName(view) + ")";
}

void Line(const char* name, const std::string& value, const std::string& origin) {
    std::printf("  %-18s %s\n  %-18s   from %s\n", name, value.c_str(), "", origin.c_str());
}

// A dword value; false when the key or value is missing or not 4 bytes.
bool QueryDword(const char* key, const char* name, plat::RegView view, int32_t* out) {
    plat::RegHandle h = nullptr;
    if (!plat::RegOpen(plat::RegRootLocalMachine(), key, view, &h)) return false;
    uint32_t size = sizeof(*out);
    const bool ok = plat::RegQueryW(h, name, out, &size, nullptr) && size == sizeof(*out);
    plat::RegClose(h);
    return ok;
}

void ReportTrace(std::vector<std::string>* problems) {
    Heading("Trace log (Kolvex; read once when a program loads it)");
    const plat::RegView view = plat::RegView::View32;
    const CTraceLog effective;  // reads the configuration exactly as Kolvex does
    int32_t level = 0;
    if (QueryDword(kTraceKey, "LogLevel", view, &level)) {
        Line("LogLevel", std::to_string(effective.Level()), Origin(kTraceKey, "LogLevel", view));
    } else {
        Line("LogLevel", "0 (nothing is written)", "default: no such value");
    }

    plat::RegHandle h = nullptr;
    char path[512] = {};
    uint32_t size = sizeof(path);
    bool fromRegistry = false;
    std::string note;
    if (plat::RegOpen(plat::RegRootLocalMachine(), kTraceKey, view, &h)) {
        if (plat::RegQueryA(h, "LogFileFullPath", path, &size, nullptr)) {
            if (size >= 5) {
                fromRegistry = true;
            } else {
                note = "the value is shorter than 4 characters and is ignored";
            }
        }
        plat::RegClose(h);
    }
    if (fromRegistry && effective.FilePath() == path) {
        Line("LogFileFullPath", path, Origin(kTraceKey, "LogFileFullPath", view));
    } else {
        if (fromRegistry) note = "the value does not fit a 260-character path and is ignored";
        Line("LogFileFullPath", "Jposlog.log in the folder of the host program's executable",
             "default" + (note.empty() ? std::string() : ": " + note) +
                 " (for Java: the folder of the java launcher)");
    }
    if (fromRegistry && effective.Level() > 0 && effective.FilePath() == path) {
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec)) {
            problems->push_back("the trace folder " + folder.string() +
                                " does not exist: create it, or no line is written");
        }
    }

    int32_t suffix = 0;
    const plat::RegView v64 = plat::RegView::View64;
    if (QueryDword(kSuffixKey, "Suffix", v64, &suffix)) {
        Line("Suffix", std::to_string(suffix) + (suffix > 0 ? " (suffix on at ClaimDevice)" : ""),
             Origin(kSuffixKey, "Suffix", v64));
    } else {
        Line("Suffix", "0", "default: no such value");
    }
}

void ReportCom(std::vector<std::string>* problems) {
    (void)problems;
    Heading("Serial (\"COM\", parameters com=N;baud=B)");
    const std::string key = std::string(kTavrixKey) + "COM";
    int mapped = 0;
    for (const std::string& name : plat::RegValueNames(key.c_str(), TavrixView())) {
        std::string upper;
        for (char c : name) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        if (upper.compare(0, 3, "COM") != 0) continue;
        uint32_t port = 0;
        if (!tvx::ParseDecimal(upper.substr(3), &port) || port < 1 ||
            port > static_cast<uint32_t>(kMaxComPort)) {
            continue;
        }
        const std::string value = tvx::ReadTavrixValue("COM", name.c_str());
        const std::string path = plat::SerialPortPath(port, value);
        ++mapped;
        if (value.empty()) {
            Line(upper.c_str(), path,
                 Origin(key.c_str(), name.c_str(), TavrixView()) +
                     ": not a text value, so the default applies");
        } else if (path != value) {
            Line(upper.c_str(), path,
                 "fixed on this system; " + Origin(key.c_str(), name.c_str(), TavrixView()) +
                     " is ignored");
        } else {
            Line(upper.c_str(), path, Origin(key.c_str(), name.c_str(), TavrixView()));
        }
    }
    std::printf(
        "  %d port%s mapped; any other COM N opens %s\n", mapped, mapped == 1 ? "" : "s",
        plat::SerialPortPath(1, std::string()) == "\\\\.\\COM1" ? "\\\\.\\COMN" : "/dev/ttyS(N-1)");
}

void ReportUdp(std::vector<std::string>* problems) {
    Heading("UDP (\"udp\"; parameters local=...;remote=... take precedence)");
    const std::string key = std::string(kTavrixKey) + "udp";
    struct Item {
        const char* name;
        const char* fallback;
    };
    std::string local, remote;
    for (const Item& it : {Item{"Local", kDefaultLocal}, Item{"Remote", kDefaultRemote}}) {
        const std::string value = tvx::ReadTavrixValue("udp", it.name);
        const std::string used = value.empty() ? it.fallback : value;
        Line(it.name, used,
             value.empty() ? std::string("default") : Origin(key.c_str(), it.name, TavrixView()));
        uint32_t host = 0;
        uint16_t port = 0;
        if (!plat::ParseUdpAddress(used, &host, &port)) {
            problems->push_back(std::string("udp ") + it.name + " \"" + used +
                                "\" is not an address a.b.c.d:port");
        }
        (std::string(it.name) == "Local" ? local : remote) = used;
    }
    plat::CUdpSocket probe;
    if (probe.Open(local, remote)) {
        std::printf("  %-18s %s can be bound now\n", "", local.c_str());
        probe.Close();
    } else {
        std::printf(
            "  %-18s %s cannot be bound now (in use, or not an address of this "
            "machine)\n",
            "", local.c_str());
    }
}

void ReportHidConfig(const std::string& tavrixPath, std::vector<std::string>* problems) {
    Heading("HID (\"HID\")");
    const std::string key = std::string(kTavrixKey) + "HID";
    const std::string plugIn = tvx::ReadTavrixValue("HID", "PlugIn");
    if (!plugIn.empty()) {
        Line("PlugIn", plugIn, Origin(key.c_str(), "PlugIn", TavrixView()));
        plat::LibHandle lib = plat::LoadLib(plugIn.c_str());
        if (lib == nullptr) {
            problems->push_back("the HID plug-in " + plugIn +
                                " does not load: " + plat::LastLoadError());
        } else {
            plat::FreeLib(lib);
        }
    } else {
        const size_t cut = tavrixPath.find_last_of("/\\");
        const std::string folder = cut == std::string::npos ? std::string("the folder of Tavrix")
                                                            : tavrixPath.substr(0, cut + 1);
        Line("PlugIn", folder + plat::SharedLibPrefix() + "Vantrel" + plat::SharedLibSuffix(),
             "default: Vantrel in the folder of Tavrix");
    }
    const std::string params = tvx::ReadTavrixValue("HID", "Params");
    if (!params.empty()) {
        Line("Params", params, Origin(key.c_str(), "Params", TavrixView()));
    } else {
        Line("Params", "(none)", "default: the plug-in's own choice (Vantrel: the last found)");
    }
}

const char* StateText(plat::PortState s) {
    switch (s) {
        case plat::PortState::Free:
            return "free";
        case plat::PortState::InUse:
            return "IN USE by another program";
        case plat::PortState::NoAccess:
            return "no access for this user";
        case plat::PortState::Missing:
            return "missing";
        case plat::PortState::NoHardware:
            return "no port behind the node";
        case plat::PortState::Failed:
            return "cannot be opened";
    }
    return "?";
}

}  // namespace

void Heading(const char* title) {
    std::printf("\n== %s\n", title);
}

std::vector<std::string> ReportConfig(const std::string& tavrixPath) {
    std::vector<std::string> problems;
    std::string sourceProblem;
    Heading("Configuration source");
    std::printf("  %s\n", plat::RegistrySource(&sourceProblem).c_str());
    if (!sourceProblem.empty()) problems.push_back(sourceProblem);
    ReportTrace(&problems);
    ReportCom(&problems);
    ReportUdp(&problems);
    ReportHidConfig(tavrixPath, &problems);
    return problems;
}

std::vector<std::string> ReportPorts(bool withUdp) {
    std::vector<std::string> problems;
    if (withUdp) ReportUdp(&problems);
    Heading("Serial ports");
    std::vector<std::string> paths = plat::ListSerialPorts();
    // Mapped ports that the system's list does not name (pseudo-terminals, links).
    const std::string key = std::string(kTavrixKey) + "COM";
    for (const std::string& name : plat::RegValueNames(key.c_str(), TavrixView())) {
        const std::string value = tvx::ReadTavrixValue("COM", name.c_str());
        if (value.empty()) continue;
        bool known = false;
        for (const std::string& p : paths) known = known || p == value;
        if (!known) paths.push_back(value);
    }
    int silent = 0;
    for (const std::string& path : paths) {
        std::string detail;
        const plat::PortState s = plat::ProbeSerialPort(path, &detail);
        if (s == plat::PortState::NoHardware) {
            ++silent;
            continue;
        }
        std::printf("  %-24s %s%s%s\n", path.c_str(), StateText(s), detail.empty() ? "" : ": ",
                    detail.c_str());
    }
    if (silent > 0) std::printf("  (%d more nodes with no port behind them)\n", silent);
    if (paths.empty()) std::printf("  none found\n");
    return problems;
}

void ReportHid(const wchar_t* params) {
    Heading("HID-POS devices");
    const int count = hid::EnumHidPosDevices(plat::ListHidInterfacePaths);
    std::wstring registryParams;
    const wchar_t* used = params;
    std::string usedFrom = "the command line";
    if (used == nullptr) {
        const std::string p = tvx::ReadTavrixValue("HID", "Params");
        if (!p.empty()) {
            registryParams = tvx::Widen(p);
            used = registryParams.c_str();
            usedFrom = "the registry (Params)";
        }
    }
    const int chosen = hid::ChooseDeviceIndex(used, count);
    for (int i = 0; i < count; ++i) {
        const std::string path = tvx::Narrow(hid::DevicePathEntry(i));
        unsigned vid = 0, pid = 0;
        const size_t at = path.find("vid_");
        const size_t pt = path.find("pid_");
        if (at != std::string::npos)
            vid = static_cast<unsigned>(std::strtoul(path.substr(at + 4, 4).c_str(), nullptr, 16));
        if (pt != std::string::npos)
            pid = static_cast<unsigned>(std::strtoul(path.substr(pt + 4, 4).c_str(), nullptr, 16));
        std::printf("  id=%-2d vendor %04x product %04x  %s%s\n", i, vid, pid, path.c_str(),
                    i == chosen ? "   <- selected" : "");
    }
    if (count == 0) {
        std::printf("  none found\n");
    } else {
        std::printf("  selection by %s: %s\n",
                    used == nullptr ? "default (no id: the last one)" : usedFrom.c_str(),
                    chosen < 0 ? "out of range: the HID channel does not open" : "see the arrow");
    }
}

}  // namespace qds::doctor
