// What a field diagnosis needs to ask the system beyond the product's own platform layer:
// where the configuration comes from, which serial ports exist and who holds them, and why
// a library did not load. Used by kolvex-doctor only.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

namespace qds::plat {

// Where the registry values come from, in words ("registry file /etc/kolvex/registry.reg",
// "the Windows registry"). Sets *problem to a sentence when that source cannot serve (a
// named file that is missing, unreadable or lacks the .reg header), else clears it.
std::string RegistrySource(std::string* problem);

// Names of the values under HKEY_LOCAL_MACHINE\subKey in the given view, in the order the
// source lists them; empty when the key is missing.
std::vector<std::string> RegValueNames(const char* subKey, RegView view);

// Serial port nodes present on this system ("/dev/ttyUSB0", "\\.\COM3"), sorted.
std::vector<std::string> ListSerialPorts();

enum class PortState {
    Free,        // opened and released again: nobody holds it
    InUse,       // another program (or channel) holds it
    NoAccess,    // this user may not open it
    Missing,     // no such device
    NoHardware,  // the node exists but no port answers behind it
    Failed,      // any other failure; detail says what
};

// Tries the port the way a channel would open it, without keeping it. On Linux a port held
// through an advisory lock (flock) or opened exclusively (TIOCEXCL) counts as in use.
// detail receives the OS's words for anything but Free.
PortState ProbeSerialPort(const std::string& path, std::string* detail);

// The reason the last LoadLib of this thread failed, as the OS words it.
std::string LastLoadError();

}  // namespace qds::plat
