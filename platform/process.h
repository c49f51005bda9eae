// Facts about the running process and its modules.
#pragma once

#include <cstdint>
#include <string>

namespace qds::plat {

// Full file name of the process's main executable ("" when it cannot be had).
std::string ExecutablePath();

// Full file name of the module (shared library or executable) that contains addr.
std::string ModulePathOf(const void* addr);

// The platform's path separator as used when cutting a folder off a full file name.
char PathSeparator();

// Line ending of a text file on this platform: "\r\n" on Windows, "\n" elsewhere.
const char* TextLineEnd();

// Id of the running process.
uint32_t CurrentProcessId();

// Value of an environment variable, or "" when it is not set.
std::string GetEnv(const char* name);

// Whether code that runs while a library is unloaded (static destructors) may wait for other
// threads to end. Not on Windows, where the loader lock is held and such a wait can deadlock.
bool CanJoinThreadsAtUnload();

}  // namespace qds::plat
