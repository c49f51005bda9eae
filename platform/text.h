// Case folding for the names this system compares without regard to case: registry keys and
// value names, framework parameter keys, transport types, symbology names. Only the ASCII
// letters fold, whatever the process's locale, as Windows does for these names.
#pragma once

#include <string>

namespace qds::plat {

// text with A-Z turned into a-z; every other byte as it was.
std::string AsciiLower(std::string text);

// True when a and b have the same length and differ only in the case of ASCII letters.
bool AsciiEqualNoCase(const std::string& a, const std::string& b);

}  // namespace qds::plat
