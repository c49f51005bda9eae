// Appending to a text file the way a log needs it.
#pragma once

#include <cstddef>

namespace qds::plat {

// Opens path for appending (creating it when missing), writes the bytes with one append
// write and closes it again. Lines appended this way by several threads or processes never
// interleave. The file stays open for no longer than the call, and others may read, rename
// or delete it meanwhile. Returns false when the file could not be opened or written.
bool AppendToFile(const char* path, const void* data, size_t size);

}  // namespace qds::plat
