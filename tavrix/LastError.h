// The calling thread's last failure reason, as tvx_last_error hands it out.
//
// Every framework operation that fails says why, with what it tried (path, address, library)
// and what the OS answered, so that a technician can tell "no such port" from "port in use".
// The text belongs to the thread that made the failing call; a later success leaves it alone.
#pragma once

#include <cstdint>
#include <string>

namespace qds::tvx {

void SetLastReason(const std::string& reason);
void ClearLastReason();
const std::string& LastReason();

// tvx_last_error's contract: copies into buffer (size > 0: truncated, NUL-terminated) and
// returns the full length in bytes.
int32_t CopyLastReason(char* buffer, int32_t size);

}  // namespace qds::tvx
