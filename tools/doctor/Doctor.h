// kolvex-doctor: what a technician needs to see on a POS terminal, in one program.
#pragma once

#include <string>
#include <vector>

namespace qds::doctor {

// Exit codes, for scripts; --help lists them.
enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 2,        // the command line is wrong
    kExitConfig = 3,       // a configuration problem was found
    kExitOpenFailed = 4,   // tvx_open gave no channel
    kExitNoScans = 5,      // listen heard no scan in its time
    kExitNoFramework = 6,  // the framework library (Tavrix) could not be loaded
};

// Prints the configuration with where each value came from; returns the problems found.
std::vector<std::string> ReportConfig(const std::string& tavrixPath);

// Prints the serial ports (with who holds them) and, withUdp, the UDP settings; returns the
// problems found.
std::vector<std::string> ReportPorts(bool withUdp);

// Prints the attached HID-POS devices and which one the parameter string selects (the
// registry's Params when params is null).
void ReportHid(const wchar_t* params);

// Prints a section heading.
void Heading(const char* title);

}  // namespace qds::doctor
